#include "recording/RecordingFileName.h"

#include <windows.h>

#include <cstring>

#include "foundation/StringHelper.h"

namespace {

constexpr char kPunctuation[] = " -_.(),";

bool KeptWide(wchar_t c) {
    if (c < 0x80) {
        return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
               (c != 0 && std::strchr(kPunctuation, static_cast<char>(c)) != nullptr);
    }
    WORD type = 0;
    return GetStringTypeW(CT_CTYPE1, &c, 1, &type) && (type & (C1_ALPHA | C1_DIGIT)) != 0;
}

// After the code page conversion only ASCII can still carry a separator: a double-byte code
// page's trail byte may be one. Bytes above 0x7F are the code page's letters.
bool KeptByte(char c) {
    unsigned char const byte = static_cast<unsigned char>(c);
    return byte >= 0x80 || KeptWide(static_cast<wchar_t>(byte));
}

std::string FullPath(std::string const& path) {
    char full[MAX_PATH] = {};
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::string(full, length) : std::string();
}

std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) {
        path.pop_back();
    }
    return path;
}

}  // namespace

std::string RecordingFileName::SafeName(std::wstring const& name) {
    std::wstring kept(name);
    for (wchar_t& c : kept) {
        if (!KeptWide(c)) {
            c = L'_';
        }
    }
    if (kept.empty()) {
        return std::string();
    }
    // No best fit: it would turn a full-width solidus into a separator.
    int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, kept.c_str(),
                                     static_cast<int>(kept.size()), nullptr, 0, "_", nullptr);
    std::string ansi(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, kept.c_str(), static_cast<int>(kept.size()),
                            &ansi[0], length, "_", nullptr);
    }
    for (char& c : ansi) {
        if (!KeptByte(c)) {
            c = '_';
        }
    }
    return ansi;
}

std::string RecordingFileName::Build(std::string const& folder, std::string const& person,
                                     std::string const& stamp) {
    // An empty folder is the current one, as for any relative path.
    std::string const within = folder.empty() ? std::string(".") : folder;
    std::string const base = WithoutTrailingSeparators(within) + "\\";
    std::wstring name = StringHelper::StrToWstr(person).substr(0, kMaxNameChars);
    for (;;) {
        std::string path = base + SafeName(name) + " " + stamp;
        if (path.size() < MAX_PATH) {
            return IsDirectlyInside(within, path) ? path : std::string();
        }
        if (name.empty()) {
            return std::string();
        }
        name.pop_back();
    }
}

bool RecordingFileName::IsDirectlyInside(std::string const& folder, std::string const& path) {
    std::string const fullFolder = WithoutTrailingSeparators(FullPath(folder));
    std::string const fullPath = FullPath(path);
    std::size_t const slash = fullPath.find_last_of('\\');
    if (fullFolder.empty() || slash == std::string::npos || slash + 1 == fullPath.size()) {
        return false;
    }
    std::string const parent = WithoutTrailingSeparators(fullPath.substr(0, slash + 1));
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, parent.c_str(), -1, fullFolder.c_str(), -1) ==
           CSTR_EQUAL;
}
