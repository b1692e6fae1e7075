#pragma once

#include <string>

#include "config/ConfigStore.h"

// Settings in one INI file: a section per group, a "key=value" line per setting.
class IniConfigStore : public IConfigStore {
public:
    explicit IniConfigStore(std::string path);

    std::string Read(std::string const& section, std::string const& key,
                     std::string const& defaultValue) override;
    void Write(std::string const& section, std::string const& key, std::string const& value) override;

private:
    std::string mPath;
};
