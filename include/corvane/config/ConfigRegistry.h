#pragma once

#include "CorvaneApi.h"

#include <vector>

#include "config/IConfigValue.h"

// An ordered list of settings that the store walks to load and save them. The values are not
// owned: each must outlive the registry (or its use). Duplicates are not checked.
class CORVANE_API ConfigRegistry {
public:
    // Replaces the contents of `values` with the registered values, in registration order.
    virtual void GetValues(std::vector<IConfigValue*>& values) const;
    virtual void Register(IConfigValue& value);
    // Declared after the operations so that they keep the first vtable slots.
    virtual ~ConfigRegistry() = default;

private:
    std::vector<IConfigValue*> mValues;  // not owned
};
