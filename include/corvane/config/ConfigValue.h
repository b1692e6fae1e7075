#pragma once

#include <string>
#include <utility>

#include "config/ConfigParsers.h"
#include "config/ConfigValidators.h"
#include "config/IConfigValue.h"

// A typed setting. Copies carry the key, section, default and current value.
template <class T, class Validator = GenericValidator<T>, class Parser = GenericParser<T>>
class ConfigValue : public IConfigValue {
public:
    // The current value starts as the default, which is taken as given (not validated).
    ConfigValue(std::string section, std::string name, T const& defaultValue)
        : mName(std::move(name)),
          mSection(std::move(section)),
          mDefault(defaultValue),
          mValue(defaultValue) {}

    void SetValue(std::string const& text) override {
        T parsed = mValue;
        if (Parser::Parse(text, parsed)) {
            mValue = Validator::Validate(parsed);
        }
    }
    std::string GetValue() const override { return Parser::Format(mValue); }
    std::string GetName() const override { return mName; }
    std::string GetSection() const override { return mSection; }
    std::string GetDefault() const override { return Parser::Format(mDefault); }

    T const& Get() const { return mValue; }
    // Validated like a value read from text.
    void Set(T const& value) { mValue = Validator::Validate(value); }
    T const& GetDefaultValue() const { return mDefault; }

private:
    std::string mName;
    std::string mSection;
    T mDefault;
    T mValue;
};

using IntConfigValue = ConfigValue<int>;
using BoolConfigValue = ConfigValue<bool>;
using SizeConfigValue = ConfigValue<ScreenSize>;
using StringConfigValue = ConfigValue<std::string>;
using ColorDepthConfigValue = ConfigValue<unsigned int, ColorDepthValidator>;
