#include "foundation/ConsoleHolder.h"

#include <cstdio>

namespace {
constexpr DWORD kCloseWaitMs = 2000;
}

ConsoleHolder::~ConsoleHolder() {
    if (mInstance == this) {
        mInstance = nullptr;
    }
    if (mCreated) {
        SetConsoleCtrlHandler(&ConsoleHolder::OnControl, FALSE);
    }
    if (mAllocated) {
        FreeConsole();
    }
}

void ConsoleHolder::EnsureCreated() {
    CriticalSectionLock lock(mLock);
    if (mCreated) {
        return;
    }
    if (AllocConsole()) {
        mAllocated = true;
        freopen("CONOUT$", "w", stdout);
    }
    mThreadId = GetCurrentThreadId();
    SetConsoleCtrlHandler(&ConsoleHolder::OnControl, TRUE);
    mCreated = true;
}

void ConsoleHolder::WriteLine(int milliseconds, char const* text) {
    EnsureCreated();
    printf("%08d %s\n", milliseconds, text);
    fflush(stdout);
}

BOOL WINAPI ConsoleHolder::OnControl(DWORD type) {
    ConsoleHolder* holder = mInstance;
    if (type != CTRL_CLOSE_EVENT || !holder) {
        return FALSE;
    }
    PostThreadMessageW(holder->mThreadId, WM_QUIT, 0, 0);
    if (HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, holder->mThreadId)) {
        WaitForSingleObject(thread, kCloseWaitMs);
        CloseHandle(thread);
    }
    return FALSE;
}
