#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/FileHelper.h"

// The names of the files (not folders) in `folder` (which ends with a backslash).
inline std::vector<std::string> FilesIn(std::string const& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &entry);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &entry)) {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            names.push_back(entry.cFileName);
        }
    }
    if (find != INVALID_HANDLE_VALUE) {
        FindClose(find);
    }
    return names;
}

// A packet dump folder of this test beside the executable, removed with its files afterwards.
class DumpFolder {
public:
    DumpFolder() {
        static int number = 0;
        mName = "test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(number++);
    }
    ~DumpFolder() {
        for (char const* direction : {"sent\\", "recv\\"}) {
            for (std::string const& name : FilesIn(Root() + direction)) {
                DeleteFileA((Root() + direction + name).c_str());
            }
            RemoveDirectoryA((Root() + direction).c_str());
        }
        RemoveDirectoryA(Root().c_str());
    }
    DumpFolder(DumpFolder const&) = delete;
    DumpFolder& operator=(DumpFolder const&) = delete;

    std::string const& Name() const { return mName; }
    std::string Root() const { return FileHelper::GetModulePath() + "dump\\" + mName + "\\"; }

private:
    std::string mName;
};
