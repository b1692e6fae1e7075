#pragma once

class ConfigRegistry;

// A group of settings of one INI section.
class IConfigValuesSet {
public:
    // Registers the group's values in the group's fixed order.
    virtual void Register(ConfigRegistry& registry) = 0;
    // Declared after Register so that it keeps the first vtable slot.
    virtual ~IConfigValuesSet() = default;
};
