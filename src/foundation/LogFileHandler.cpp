#include "foundation/LogFileHandler.h"

#include <windows.h>

#include <sstream>

#include "foundation/CorvaneLogging.h"

namespace {
constexpr int kOpenAttempts = 10;
}

LogFileHandler::LogFileHandler(std::string path, std::string const& mutexName) : mPath(std::move(path)) {
    if (!mMutex.IsLock(mutexName)) {
        DeleteFileA(mPath.c_str());
    }
}

LogFileHandler::~LogFileHandler() {
    if (mInstance == this) {
        mInstance = nullptr;
    }
}

std::string LogFileHandler::DefaultPath() {
    char path[MAX_PATH * 2] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    return std::string(path, length) + ".log";
}

void LogFileHandler::WriteLine(std::string const& text) {
    std::string const line = CorvaneLogging::FormatLinePrefix() + text + "\n";
    // Another process may hold the file for its own line; give it a moment to finish, waiting
    // longer after each failure (0, 1, 3, 7 ... 255 ms) so that a busy machine loses no line.
    // The lock is not held while waiting: other threads' lines go in as soon as the file is free.
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (attempt > 0) {
            Sleep((1u << (attempt - 1)) - 1);
        }
        if (TryAppend(line)) {
            return;
        }
    }
    if (CorvaneLogging::IsLoggingEnabled()) {
        std::stringstream message;
        message << kCannotOpen;
        CorvaneLogging::CorvaneDebugOutput(message, CorvaneLogging::LogConsole);
    }
}

// The first line of the process goes in after the banner, in the same opening.
bool LogFileHandler::TryAppend(std::string const& line) {
    CriticalSectionLock lock(mLock);
    HANDLE file = CreateFileA(mPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    SetFilePointer(file, 0, nullptr, FILE_END);
    if (!mStarted) {
        mStarted = true;
        Write(file, CorvaneLogging::FormatLinePrefix() + kBanner + "\n");
    }
    Write(file, line);
    CloseHandle(file);
    return true;
}

void LogFileHandler::Write(HANDLE file, std::string const& text) {
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
