#pragma once

#include <string>
#include <vector>

#include "config/ConfigRegistry.h"
#include "config/IConfigValue.h"

// "section/key=text" of every value of `registry`, in its order: the current texts, or the
// defaults when `defaults` is set.
inline std::vector<std::string> Texts(ConfigRegistry const& registry, bool defaults = false) {
    std::vector<IConfigValue*> values;
    registry.GetValues(values);
    std::vector<std::string> texts;
    for (IConfigValue const* value : values) {
        texts.push_back(value->GetSection() + "/" + value->GetName() + "=" +
                        (defaults ? value->GetDefault() : value->GetValue()));
    }
    return texts;
}
