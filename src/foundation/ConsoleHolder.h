#pragma once

#include <windows.h>

#include "foundation/CriticalSection.h"

// The log's console, made on the first console line: a console of the process's own when
// the system gives one, else whatever the standard output is. Frees the console at unload.
class ConsoleHolder {
public:
    ConsoleHolder() = default;
    ~ConsoleHolder();
    ConsoleHolder(ConsoleHolder const&) = delete;
    ConsoleHolder& operator=(ConsoleHolder const&) = delete;

    // Prints "%08d %s\n" (milliseconds since start, text) to the console.
    void WriteLine(int milliseconds, char const* text);

    static ConsoleHolder* GetInstance() { return mInstance; }

private:
    static ConsoleHolder* mInstance;  // the object lives in Core.cpp
    static BOOL WINAPI OnControl(DWORD type);

    void EnsureCreated();

    CriticalSection mLock;
    bool mCreated = false;
    bool mAllocated = false;
    DWORD mThreadId = 0;  // the thread that made the console; told to quit when it closes
};
