#include "foundation/FileHelper.h"

#include <windows.h>
#include <shlwapi.h>

#include <string_view>
#include <vector>

#include "foundation/StringHelper.h"

namespace {
bool PathExists(std::string const& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
}  // namespace

void FileHelper::CreateFullPath(std::string const& path) {
    std::vector<std::string> components;
    StringHelper::Split(path, components, "\\");
    if (components.empty()) {
        return;
    }
    std::string partial = components[0];
    for (std::size_t i = 1; i < components.size(); ++i) {
        partial += "\\" + components[i];
        if (!PathExists(partial)) {
            CreateDirectoryA(partial.c_str(), nullptr);
        }
    }
}

std::string FileHelper::CombinePath(std::string const& first, std::string const& second) {
    char combined[MAX_PATH] = {};
    if (PathCombineA(combined, first.c_str(), second.c_str()) == nullptr) {
        return {};
    }
    return combined;
}

std::string FileHelper::GetModulePath() {
    std::vector<char> name(MAX_PATH);
    DWORD length = 0;
    // Long paths: grow until the whole name fits.
    while ((length = GetModuleFileNameA(nullptr, name.data(), static_cast<DWORD>(name.size()))) ==
               name.size() &&
           name.size() < 32768) {
        name.resize(name.size() * 2);
    }
    std::string path(name.data(), length);
    std::size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileHelper::ReplaceInvalidChars(std::string const& fileName, char replacement) {
    constexpr std::string_view invalid = "?:\\/*\"<>|";
    std::string result = fileName;
    for (char& c : result) {
        if (invalid.find(c) != std::string_view::npos) {
            c = replacement;
        }
    }
    return result;
}
