#include "config/IniConfigStore.h"

#include <utility>

#include "config/IniFile.h"

IniConfigStore::IniConfigStore(std::string path) : mPath(std::move(path)) {}

std::string IniConfigStore::Read(std::string const& section, std::string const& key,
                                 std::string const& defaultValue) {
    return IniFile::Read(mPath, section, key, defaultValue);
}

void IniConfigStore::Write(std::string const& section, std::string const& key, std::string const& value) {
    IniFile::Write(mPath, section, key, value);
}
