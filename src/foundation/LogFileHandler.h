#pragma once

#include <string>

#include "foundation/CriticalSection.h"
#include "foundation/Mutex.h"

// The log file. The first process that takes the handler's named mutex deletes the old file;
// later processes append to it while the first still runs. Each line opens, appends and
// closes the file, so several processes can share it.
class LogFileHandler {
public:
    static constexpr char kMutexName[] = "CorvaneFileHandler";
    static constexpr char kBanner[] =
        "-------------------------------- Started logging --------------------------------";
    static constexpr char kCannotOpen[] = "Couldn't log to file: can't open";

    LogFileHandler(std::string path, std::string const& mutexName);
    ~LogFileHandler();
    LogFileHandler(LogFileHandler const&) = delete;
    LogFileHandler& operator=(LogFileHandler const&) = delete;

    // Appends one line (prefix and text); the first line of the process is preceded by the
    // banner. Any thread; a thread that waits for the file does not hold up the others.
    void WriteLine(std::string const& text);
    std::string const& GetPath() const { return mPath; }

    // "<full path of the host executable>.log".
    static std::string DefaultPath();
    // The process-wide handler; null outside the library's lifetime.
    static LogFileHandler* GetInstance() { return mInstance; }

private:
    static LogFileHandler* mInstance;  // the object lives in Core.cpp

    bool TryAppend(std::string const& line);
    static void Write(void* file, std::string const& text);

    std::string mPath;
    bool mStarted = false;
    CriticalSection mLock;
    Mutex mMutex;
};
