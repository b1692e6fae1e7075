#include "foundation/CorvaneLogging.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

#include "foundation/ConsoleHolder.h"
#include "foundation/CriticalSection.h"
#include "foundation/LogFileHandler.h"
#include "foundation/PreciseTimer.h"
#include "foundation/StringHelper.h"
#include "foundation/Thread.h"

namespace CorvaneLogging {
namespace {

std::atomic<bool> gEnabled{false};
std::atomic<LoggingOutput> gOutput{LogNothing};

// The logger name changes while other threads log (the messenger client sets it on attach),
// so it is guarded rather than a bare string. Both are built before, and destroyed after, the
// process-wide objects of Core.cpp, which log while they are torn down.
CriticalSection gLoggerNameLock __attribute__((init_priority(101)));
std::string gLoggerName __attribute__((init_priority(101)));

std::string ThreadField(bool hexadecimal) {
    std::string name;
    try {
        name = Thread::GetCurrentThreadName();
    } catch (...) {
        // No thread-name slot (outside the library's lifetime): fall back to the id.
    }
    if (!name.empty()) {
        return name;
    }
    char id[16];
    snprintf(id, sizeof(id), hexadecimal ? "%04lx" : "%04lu", GetCurrentThreadId());
    return id;
}

}  // namespace

void SetLoggingEnabled(bool enabled) { gEnabled = enabled; }
bool IsLoggingEnabled() { return gEnabled; }
void SetLoggingOutput(LoggingOutput output) { gOutput = output; }
LoggingOutput GetLoggingOutput() { return gOutput; }

void SetLoggerName(std::string const& name) {
    CriticalSectionLock lock(gLoggerNameLock);
    gLoggerName = name;
}

std::string GetLoggerName() {
    CriticalSectionLock lock(gLoggerNameLock);
    return gLoggerName;
}

int MillisecondsSinceStart() { return PreciseTimer::GetStartupTimer().GetTimeInMs(); }

std::string FormatLinePrefix() {
    std::string logger = GetLoggerName();
    bool byProcess = logger.empty();
    if (byProcess) {
        char pid[16];
        snprintf(pid, sizeof(pid), "%04lx", GetCurrentProcessId());
        logger = pid;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    char clock[32];
    snprintf(clock, sizeof(clock), "%02u:%02u:%02u.%03u/%d ", now.wHour, now.wMinute, now.wSecond,
             now.wMilliseconds, MillisecondsSinceStart());
    return "[" + logger + "/" + ThreadField(byProcess) + "] " + clock;
}

void CorvaneDebugOutput(std::stringstream const& message, LoggingOutput outputs) {
    try {
        LoggingOutput selected = outputs & gOutput;
        if (selected == LogNothing) {
            return;
        }
        std::string text = StringHelper::EscapeAscii(message.str());
        ConsoleHolder* console = ConsoleHolder::GetInstance();
        if ((selected & LogConsole) && console) {
            console->WriteLine(MillisecondsSinceStart(), text.c_str());
        }
        LogFileHandler* file = LogFileHandler::GetInstance();
        if ((selected & LogFile) && file) {
            file->WriteLine(text);
        }
    } catch (...) {
        // Logging never throws to its caller.
    }
}

}  // namespace CorvaneLogging
