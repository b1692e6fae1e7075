#include "foundation/FileVersionInfoHelper.h"

#include <windows.h>

#include <cwchar>

int FileVersionInfoHelper::GetFileVersionInformation(wchar_t const* fileName, VersionInformation& info) {
    std::vector<unsigned char> data = GetVersionInfoData(fileName);
    Translation translation;
    if (data.empty() || !GetTranslationInfo(data, translation)) {
        return 0;
    }
    info.companyName = GetStringValue(data, translation, L"CompanyName");
    info.productName = GetStringValue(data, translation, L"ProductName");
    info.productVersion = GetStringValue(data, translation, L"ProductVersion");
    info.legalCopyright = GetStringValue(data, translation, L"LegalCopyright");
    return 1;
}

std::vector<unsigned char> FileVersionInfoHelper::GetVersionInfoData(wchar_t const* fileName) {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(fileName, &handle);
    std::vector<unsigned char> data(size);
    if (size == 0 || !GetFileVersionInfoW(fileName, 0, size, data.data())) {
        data.clear();
    }
    return data;
}

bool FileVersionInfoHelper::GetTranslationInfo(std::vector<unsigned char> const& data,
                                               Translation& translation) {
    void* table = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &table, &length) || table == nullptr ||
        length < sizeof(Translation)) {
        return false;
    }
    translation = *static_cast<Translation const*>(table);
    return true;
}

std::wstring FileVersionInfoHelper::GetStringValue(std::vector<unsigned char> const& data,
                                                   Translation translation, wchar_t const* name) {
    wchar_t path[256];
    std::swprintf(path, sizeof(path) / sizeof(path[0]), L"\\StringFileInfo\\%04x%04x\\%ls",
                  translation.language, translation.codePage, name);
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), path, &value, &length) || value == nullptr || length == 0) {
        return {};
    }
    // The length counts characters and may include the terminating NUL.
    auto text = static_cast<wchar_t const*>(value);
    return std::wstring(text, wcsnlen(text, length));
}
