#pragma once

#include <cstddef>
#include <string>

// A Windows profile (INI) file. A path without a folder names a file in the Windows folder,
// as the profile functions have it. Failures are not reported: a read that fails gives the
// default, a write that fails is lost.
class IniFile {
public:
    // Longer values are cut to this many characters when read. Wine's profile writer does not
    // store values of this length or more intact.
    static constexpr std::size_t kMaxValueLength = 32767;

    explicit IniFile(std::string path);

    std::string Read(std::string const& section, std::string const& key,
                     std::string const& defaultValue) const;
    void Write(std::string const& section, std::string const& key, std::string const& value) const;

    // The key's text, or `defaultValue` when the key is missing or empty.
    static std::string Read(std::string const& file, std::string const& section, std::string const& key,
                            std::string const& defaultValue);
    static void Write(std::string const& file, std::string const& section, std::string const& key,
                      std::string const& value);

private:
    std::string mPath;
};
