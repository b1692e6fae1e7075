#pragma once

#include <string>
#include <vector>

// The version strings of a file, as its version resource states them.
struct VersionInformation {
    std::wstring companyName;
    std::wstring productName;
    std::wstring productVersion;
    std::wstring legalCopyright;
};

class FileVersionInfoHelper {
public:
    // Fills `info` from the first language of the file's version resource; a value the
    // resource lacks stays empty. Returns 1 when the resource and its translation table were
    // read, 0 (with `info` untouched) for a file without them or a missing file.
    static int GetFileVersionInformation(wchar_t const* fileName, VersionInformation& info);

private:
    struct Translation {
        unsigned short language;
        unsigned short codePage;
    };

    // The whole version resource; empty when the file has none.
    static std::vector<unsigned char> GetVersionInfoData(wchar_t const* fileName);
    // The first entry of the translation table; false when there is none.
    static bool GetTranslationInfo(std::vector<unsigned char> const& data, Translation& translation);
    static std::wstring GetStringValue(std::vector<unsigned char> const& data, Translation translation,
                                       wchar_t const* name);
};
