#pragma once

#include <windows.h>

#include <atomic>

#include "foundation/SyncEvent.h"
#include "foundation/Thread.h"

class CQuvixDriver;

// The hidden window of class "halvik.display_changed_sink" that other processes of the
// plug-in find and message when the display changes. It runs a message loop on a thread of
// its own and hands display changes and the surface messages to the driver. Build and destroy
// it on one thread; the driver must outlive it.
class QuvixSinkWindow {
public:
    // Starts the thread and waits for the window.
    explicit QuvixSinkWindow(CQuvixDriver& driver);
    // Ends the thread (2000 ms, then it is killed).
    ~QuvixSinkWindow();
    QuvixSinkWindow(QuvixSinkWindow const&) = delete;
    QuvixSinkWindow& operator=(QuvixSinkWindow const&) = delete;

    HWND GetHwnd() const { return mHwnd; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Body();
    bool Handle(UINT message, LPARAM lParam);

    CQuvixDriver& mDriver;
    Thread mThread;
    SyncEvent mCreated;
    std::atomic<HWND> mHwnd{nullptr};
    std::atomic<DWORD> mThreadId{0};
};
