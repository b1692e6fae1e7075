#pragma once

#include <windows.h>

#include <string>

// The id of the thread that built it: the process-wide one is built while the library loads.
struct MainThreadId {
    DWORD value = GetCurrentThreadId();
};

// A named worker thread. So far only the per-thread names that the log shows.
class Thread {
public:
    // "main" on the thread that loaded the library; otherwise the calling thread's stored
    // name, empty when it has none.
    static std::string GetCurrentThreadName();
    // Stores a copy of the name for the calling thread.
    static void SetCurrentThreadName(std::string const& name);

    // The id of the thread that loaded the library.
    static DWORD GetMainThreadId() { return mMainThreadId.value; }

private:
    static MainThreadId mMainThreadId;  // the object lives in Core.cpp
};
