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
    CriticalSectionLock lock(mLock);
    if (!mStarted) {
        mStarted = true;
        WriteLine(kBanner);
    }
    if (!Append(CorvaneLogging::FormatLinePrefix() + text + "\n") && CorvaneLogging::IsLoggingEnabled()) {
        std::stringstream message;
        message << kCannotOpen;
        CorvaneLogging::CorvaneDebugOutput(message, CorvaneLogging::LogConsole);
    }
}

bool LogFileHandler::Append(std::string const& line) {
    HANDLE file = INVALID_HANDLE_VALUE;
    // Another process may hold the file for its own line; give it a moment to finish, waiting
    // longer after each failure (0, 1, 3, 7 ... 255 ms) so that a busy machine loses no line.
    for (int attempt = 0; attempt < kOpenAttempts && file == INVALID_HANDLE_VALUE; ++attempt) {
        if (attempt > 0) {
            Sleep((1u << (attempt - 1)) - 1);
        }
        file = CreateFileA(mPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    SetFilePointer(file, 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    return true;
}
