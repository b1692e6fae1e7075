#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <string>

#include "foundation/CriticalSection.h"
#include "foundation/IWindow.h"
#include "foundation/SyncEvent.h"
#include "foundation/Thread.h"

// A hidden top-level window that hands every message to one IWindowMessageHandler, on the
// window's thread. With its own thread the window lives on a "ThreadWindow" thread that runs
// its message loop; otherwise it lives on the thread that calls Create(), whose own message
// loop must dispatch its messages. Create and Close are called from the owning thread.
class ThreadWindow : public IWindow {
public:
    // The class name of every such window starts with this; the window's name follows.
    static constexpr wchar_t kClassPrefix[] = L"{6F1C2A77-3B0E-4D5A-9C41-2E7B8D90A1F3}";

    // Which object a window belongs to, for the window procedure. An entry goes when its
    // window is destroyed or its object closes, so a message never reaches a dead object.
    class WindowMap {
    public:
        WindowMap() = default;
        ~WindowMap();
        WindowMap(WindowMap const&) = delete;
        WindowMap& operator=(WindowMap const&) = delete;

        void Add(HWND window, ThreadWindow* object);
        void Remove(HWND window);
        void Remove(ThreadWindow const* object);
        // The window's object with its handler lock entered, so it cannot go until the caller
        // leaves that lock; null for a window without object.
        ThreadWindow* Enter(HWND window);

    private:
        CriticalSection mLock;
        std::map<HWND, ThreadWindow*> mWindows;
    };

    // No handler, own thread.
    ThreadWindow();
    // `handler` is not owned, may be null, and must outlive its use (see SetMessageHandler).
    ThreadWindow(IWindowMessageHandler* handler, bool ownThread);
    // Closes the window.
    ~ThreadWindow() override;

    // Registers the class kClassPrefix + name and makes the window, on its own thread or on
    // the calling one. Failures are logged, and leave GetHwnd() null.
    void Create(std::wstring const& name) override;
    // Lets the handler see WM_DESTROY, destroys the window and ends its thread (joined for up
    // to 2000 ms). After Close no message reaches the handler through this object.
    void Close() override;
    HWND GetHwnd() const override { return mHwnd; }
    // Waits for a running Handle() to finish; the old handler is not called after this.
    void SetMessageHandler(IWindowMessageHandler* handler) override;
    LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool post) override;

protected:
    // Own-thread windows only: dispatches this window's messages until the quit message,
    // drops all others, then destroys the window and unregisters its class.
    virtual void RunMessageLoop();

private:
    static WindowMap* mMap;  // the object lives in Core.cpp

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void WindowThreadBody();
    void CreateWindowHere();
    void WaitForWindowThread(std::string const& name);
    int HandleMessage(tagMSG const& message);
    void ShowHandlerError(HWND owner, std::wstring const& detail) const;

    CriticalSection mHandlerLock;  // held while the handler runs
    bool mOwnThread;
    Thread mThread;
    std::atomic<DWORD> mThreadId{0};  // the thread that owns the window
    std::wstring mClassName;
    IWindowMessageHandler* mHandler;  // not owned
    std::atomic<HWND> mHwnd{nullptr};
    SyncEvent mCreated;  // the window thread has tried to make the window
};
