#include "TempFolder.h"

#include <windows.h>

#include <atomic>
#include <fstream>
#include <sstream>

namespace {
void RemoveTree(std::string const& path) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..") {
                continue;
            }
            std::string child = path + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}
}  // namespace

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    char base[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, base);
    std::ostringstream name;
    name << base << "corvane-" << GetCurrentProcessId() << "-" << GetTickCount() << "-" << counter++;
    mPath = name.str();
    CreateDirectoryA(mPath.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(mPath); }

std::string ReadWholeFile(std::string const& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteWholeFile(std::string const& path, std::string const& content) {
    std::ofstream(path, std::ios::binary) << content;
}
