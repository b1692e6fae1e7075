#pragma once

#include <string>

// One setting: its INI section and key, its default and its current value, as text.
class IConfigValue {
public:
    virtual ~IConfigValue() = default;

    // Parses `text`, validates the result and makes it the current value. Text that the
    // value's parser cannot read leaves the current value as it was.
    virtual void SetValue(std::string const& text) = 0;
    virtual std::string GetValue() const = 0;
    virtual std::string GetName() const = 0;
    virtual std::string GetSection() const = 0;
    virtual std::string GetDefault() const = 0;
};
