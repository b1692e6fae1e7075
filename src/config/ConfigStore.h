#pragma once

#include <string>

#include "config/ConfigRegistry.h"

// Where settings persist, as text by section and key.
class IConfigStore {
public:
    // The stored text, or `defaultValue` when there is none.
    virtual std::string Read(std::string const& section, std::string const& key,
                             std::string const& defaultValue) = 0;
    virtual void Write(std::string const& section, std::string const& key, std::string const& value) = 0;
    // Declared after the operations so that they keep the first vtable slots.
    virtual ~IConfigStore() = default;
};

// Sets every value of `registry`, in registry order, from `store`; a value that is missing or
// empty there takes its default. An exception from a value's SetValue ends the load: the
// values before it are loaded, the rest keep their current values.
void LoadConfiguration(ConfigRegistry& registry, IConfigStore& store);

// Writes the current value of every value of `registry`, in registry order.
void SaveConfiguration(ConfigRegistry const& registry, IConfigStore& store);
