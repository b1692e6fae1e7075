// A second process for the foundation tests.
//   mutex NAME                      prints "taken" or "free" for IsLock(NAME)
//   hold NAME READY RELEASE         takes NAME, signals the named event READY, waits for RELEASE
//   log OUTPUT LOGGER COUNT TEXT    logs COUNT lines "TEXT <i>" (LOGGER "-" for none), a line
//                                   with a tab and a backslash, and one from an unnamed thread

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "WorkerThread.h"
#include "foundation/CorvaneLogging.h"
#include "foundation/Mutex.h"

namespace {

int CheckMutex(char const* name) {
    Mutex mutex;
    std::puts(mutex.IsLock(name) ? "taken" : "free");
    return 0;
}

int HoldMutex(char const* name, char const* ready, char const* release) {
    Mutex mutex;
    mutex.IsLock(name);
    HANDLE readyEvent = OpenEventA(EVENT_MODIFY_STATE, FALSE, ready);
    HANDLE releaseEvent = OpenEventA(SYNCHRONIZE, FALSE, release);
    if (!readyEvent || !releaseEvent) {
        return 2;
    }
    SetEvent(readyEvent);
    WaitForSingleObject(releaseEvent, 30000);
    return 0;
}

int Log(char const* output, char const* logger, char const* count, char const* text) {
    CorvaneLogging::SetLoggingEnabled(true);
    CorvaneLogging::SetLoggingOutput(static_cast<CorvaneLogging::LoggingOutput>(std::atoi(output)));
    if (std::string(logger) != "-") {
        CorvaneLogging::SetLoggerName(logger);
    }
    for (int i = 0, n = std::atoi(count); i < n; ++i) {
        CORVANE_LOG(text << " " << i);
    }
    CORVANE_LOG("escaped: \t\\");
    WorkerThread([] { CORVANE_LOG("from an unnamed thread"); }).Join();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "mutex" && argc == 3) {
        return CheckMutex(argv[2]);
    }
    if (mode == "hold" && argc == 5) {
        return HoldMutex(argv[2], argv[3], argv[4]);
    }
    if (mode == "log" && argc == 6) {
        return Log(argv[2], argv[3], argv[4], argv[5]);
    }
    std::fprintf(stderr, "unknown probe command\n");
    return 2;
}
