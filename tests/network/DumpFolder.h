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
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            names.push_back(entry.cFileName);
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return names;
}

// A dump folder of this test run beside the executable, removed with its files afterwards.
class DumpFolder {
public:
    DumpFolder() : mName("test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(NextNumber())) {}
    ~DumpFolder() {
        for (char const* direction : {"sent", "recv"}) {
            std::string folder = Root() + direction + "\\";
            for (std::string const& name : FilesIn(folder)) {
                DeleteFileA((folder + name).c_str());
            }
            RemoveDirectoryA(folder.c_str());
        }
        RemoveDirectoryA(Root().c_str());
    }
    DumpFolder(DumpFolder const&) = delete;
    DumpFolder& operator=(DumpFolder const&) = delete;

    std::string const& Name() const { return mName; }
    std::string Root() const { return FileHelper::GetModulePath() + "dump\\" + mName + "\\"; }

private:
    static int NextNumber() {
        static int number = 0;
        return number++;
    }
    std::string mName;
};
