#include "config/ConfigRegistry.h"

void ConfigRegistry::GetValues(std::vector<IConfigValue*>& values) const {
    values = mValues;
}

void ConfigRegistry::Register(IConfigValue& value) {
    mValues.push_back(&value);
}
