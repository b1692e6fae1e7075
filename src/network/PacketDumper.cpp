#include "network/PacketDumper.h"

#include <windows.h>

#include <cstdio>

#include "foundation/CorvaneLogging.h"
#include "foundation/FileHelper.h"

namespace {

constexpr int kNameAttempts = 100;

void DeleteMatching(std::string const& folder, char const* pattern) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + pattern).c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            DeleteFileA((folder + entry.cFileName).c_str());
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

std::string FileName(int sequence, bool good, char const* kind) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char name[96];
    snprintf(name, sizeof(name), "%u.%u.%u.%u_%d%s.%s", now.wHour, now.wMinute, now.wSecond,
             now.wMilliseconds, sequence, good ? "" : "_bad", kind);
    return name;
}

}  // namespace

std::string PacketDumper::DirectionFolder(char const* direction) const {
    return FileHelper::GetModulePath() + "dump\\" + mFolder + "\\" + direction + "\\";
}

void PacketDumper::Enable(std::string const& folder) {
    mEnabled = true;
    mFolder = folder;
    for (char const* pattern : {"*.pkt", "*.msg"}) {
        for (char const* direction : {kSent, kReceived}) {
            DeleteMatching(DirectionFolder(direction), pattern);
        }
    }
    for (char const* direction : {kSent, kReceived}) {
        FileHelper::CreateFullPath(DirectionFolder(direction));
    }
}

void PacketDumper::Dump(char const* direction, char const* kind, char const* bytes, std::size_t length,
                        int sequence, bool good) const {
    // Names carry the time to the millisecond, so the chunks of one message written within the
    // same millisecond would share a name: a name that exists already waits for the next one.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < kNameAttempts && file == INVALID_HANDLE_VALUE; ++attempt) {
        std::string path = DirectionFolder(direction) + FileName(sequence, good, kind);
        file =
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
        if (file == INVALID_HANDLE_VALUE) {
            Sleep(1);
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        CORVANE_LOG("Packet file dump open error");
        return;
    }
    DWORD written = 0;
    WriteFile(file, bytes, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
}
