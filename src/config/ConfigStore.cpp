#include "config/ConfigStore.h"

#include <vector>

void LoadConfiguration(ConfigRegistry& registry, IConfigStore& store) {
    std::vector<IConfigValue*> values;
    registry.GetValues(values);
    for (IConfigValue* value : values) {
        std::string text = store.Read(value->GetSection(), value->GetName(), "");
        value->SetValue(text.empty() ? value->GetDefault() : text);
    }
}

void SaveConfiguration(ConfigRegistry const& registry, IConfigStore& store) {
    std::vector<IConfigValue*> values;
    registry.GetValues(values);
    for (IConfigValue const* value : values) {
        store.Write(value->GetSection(), value->GetName(), value->GetValue());
    }
}
