#include "config/IniFile.h"

#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t kFirstBufferSize = 255;

}  // namespace

IniFile::IniFile(std::string path) : mPath(std::move(path)) {}

std::string IniFile::Read(std::string const& section, std::string const& key,
                          std::string const& defaultValue) const {
    return Read(mPath, section, key, defaultValue);
}

void IniFile::Write(std::string const& section, std::string const& key, std::string const& value) const {
    Write(mPath, section, key, value);
}

// The profile call reports size - 1 when it had to cut the value: then read again with a
// larger buffer, up to the bound.
std::string IniFile::Read(std::string const& file, std::string const& section, std::string const& key,
                          std::string const& defaultValue) {
    std::size_t size = kFirstBufferSize;
    for (;;) {
        std::vector<char> buffer(size, '\0');
        DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(),
                                                buffer.data(), static_cast<DWORD>(size), file.c_str());
        if (length == 0) {
            return defaultValue;
        }
        if (length + 1 < size || size > kMaxValueLength) {
            return std::string(buffer.data(), length);
        }
        size = std::min(size * 2, kMaxValueLength + 1);
    }
}

void IniFile::Write(std::string const& file, std::string const& section, std::string const& key,
                    std::string const& value) {
    WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str());
}
