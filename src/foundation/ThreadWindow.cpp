#include "foundation/ThreadWindow.h"

#include <exception>

#include "foundation/CorvaneLogging.h"
#include "foundation/MessageBox.h"

namespace {

constexpr unsigned long kCreateTimeoutMs = 10000;
constexpr unsigned long kCloseJoinMs = 2000;
constexpr UINT kClassStyle = CS_GLOBALCLASS | CS_HREDRAW | CS_VREDRAW;

std::string ToThreadCodePage(std::wstring const& text) {
    int size = WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string result(size > 0 ? size : 0, '\0');
    WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

std::wstring ToWide(char const* text) {
    int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring result(size > 0 ? size : 0, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, result.data(), size);
    if (!result.empty()) {
        result.pop_back();  // the terminator
    }
    return result;
}

MSG MakeRecord(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG record = {};
    record.hwnd = window;
    record.message = message;
    record.wParam = wParam;
    record.lParam = lParam;
    return record;
}

}  // namespace

ThreadWindow::WindowMap::~WindowMap() {
    if (mMap == this) {
        mMap = nullptr;
    }
}

void ThreadWindow::WindowMap::Add(HWND window, ThreadWindow* object) {
    CriticalSectionLock lock(mLock);
    mWindows[window] = object;
}

void ThreadWindow::WindowMap::Remove(HWND window) {
    CriticalSectionLock lock(mLock);
    mWindows.erase(window);
}

void ThreadWindow::WindowMap::Remove(ThreadWindow const* object) {
    CriticalSectionLock lock(mLock);
    for (auto entry = mWindows.begin(); entry != mWindows.end();) {
        entry = entry->second == object ? mWindows.erase(entry) : std::next(entry);
    }
}

ThreadWindow* ThreadWindow::WindowMap::Enter(HWND window) {
    CriticalSectionLock lock(mLock);
    auto found = mWindows.find(window);
    if (found == mWindows.end()) {
        return nullptr;
    }
    found->second->mHandlerLock.Lock();
    return found->second;
}

ThreadWindow::ThreadWindow() : ThreadWindow(nullptr, true) {}

ThreadWindow::ThreadWindow(IWindowMessageHandler* handler, bool ownThread)
    : mOwnThread(ownThread), mThread("ThreadWindow"), mHandler(handler) {
    if (mOwnThread) {
        mThread.Bind(MakeDelegate<&ThreadWindow::WindowThreadBody>(this));
    }
}

ThreadWindow::~ThreadWindow() {
    Close();
}

void ThreadWindow::Create(std::wstring const& name) {
    std::string threadName = ToThreadCodePage(name);
    mThread.SetName(threadName);
    mClassName = kClassPrefix + name;
    if (!mOwnThread) {
        CreateWindowHere();
        return;
    }
    mThread.Start();
    WaitForWindowThread(threadName);
}

void ThreadWindow::WaitForWindowThread(std::string const& name) {
    unsigned long result = SyncEvent::Wait(mCreated, mThread.GetIsStoppedEvent(), kCreateTimeoutMs);
    if (result == 1) {
        CORVANE_LOG("Window thread " << name << " ended before its window was made");
    } else if (result != 0) {
        CORVANE_LOG("Window thread " << name << " made no window within " << kCreateTimeoutMs << " msec");
    }
    if (!IsWindow(mHwnd)) {
        CORVANE_LOG("Bad IsWindow");
    }
}

void ThreadWindow::WindowThreadBody() {
    CreateWindowHere();
    mCreated.Set();
    RunMessageLoop();
}

void ThreadWindow::CreateWindowHere() {
    mThreadId = GetCurrentThreadId();
    HINSTANCE module = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass = {};
    windowClass.style = kClassStyle;
    windowClass.lpfnWndProc = &ThreadWindow::WindowProc;
    windowClass.hInstance = module;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = mClassName.c_str();
    if (!RegisterClassW(&windowClass)) {
        DWORD error = GetLastError();
        CORVANE_LOG("CreateThreadWindowEx RegisterClass " << error);  // an existing class serves
    }
    HWND window = CreateWindowExW(0, mClassName.c_str(), L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                  CW_USEDEFAULT, 0, nullptr, nullptr, module, nullptr);
    if (!window) {
        DWORD error = GetLastError();
        CORVANE_LOG("CreateThreadWindowEx CreateWindow " << error);
        return;
    }
    if (mMap) {
        mMap->Add(window, this);
    }
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);
    // Published last: a message sent as soon as the creator sees the handle reaches the handler.
    mHwnd = window;
}

void ThreadWindow::RunMessageLoop() {
    // Copies: should Close give up waiting, this thread must not read the object afterwards.
    HWND const window = mHwnd;
    std::wstring const className = mClassName;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (window && message.hwnd == window) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    // Only this thread can destroy the window. Its handler saw WM_DESTROY from Close already.
    if (window) {
        if (WindowMap* map = mMap) {
            map->Remove(window);
        }
        DestroyWindow(window);
    }
    UnregisterClassW(className.c_str(), GetModuleHandleW(nullptr));
}

void ThreadWindow::Close() {
    HWND window = mHwnd.exchange(nullptr);
    if (window) {
        ::SendMessageW(window, WM_DESTROY, 0, 0);  // so the handler and the window procedure see it
    }
    if (WindowMap* map = mMap) {
        map->Remove(this);
    }
    if (mOwnThread) {
        // After WM_DESTROY was handled: the loop's end destroys the window.
        PostThreadMessageW(mThreadId, WM_QUIT, 0, 0);
        mThread.Join(kCloseJoinMs, false);
    } else if (window) {
        DestroyWindow(window);  // works on the creating thread only
    }
    mThreadId = 0;
    // A message that found this object before it left the map is finished after this.
    CriticalSectionLock barrier(mHandlerLock);
}

void ThreadWindow::SetMessageHandler(IWindowMessageHandler* handler) {
    CriticalSectionLock lock(mHandlerLock);
    mHandler = handler;
}

LRESULT ThreadWindow::SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool post) {
    if (post) {
        PostMessageW(window, message, wParam, lParam);
        return 1;
    }
    return ::SendMessageW(window, message, wParam, lParam);
}

LRESULT CALLBACK ThreadWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    int result = 0;
    bool ownThread = false;
    if (WindowMap* map = mMap) {
        if (ThreadWindow* object = map->Enter(window)) {
            ownThread = object->mOwnThread;
            result = object->HandleMessage(MakeRecord(window, message, wParam, lParam));
            object->mHandlerLock.Unlock();
        }
        if (message == WM_NCDESTROY) {
            map->Remove(window);  // the handle may come back for another window
        }
    }
    if (result != 0) {
        return result;
    }
    if (message == WM_DESTROY) {
        // Ends a window's own loop; a window on somebody else's thread must not end theirs.
        if (ownThread) {
            PostQuitMessage(0);
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Runs with mHandlerLock held (WindowMap::Enter). Nothing may escape into the system.
int ThreadWindow::HandleMessage(tagMSG const& message) {
    try {
        return mHandler ? mHandler->Handle(message) : 0;
    } catch (std::exception const& error) {
        ShowHandlerError(message.hwnd, ToWide(error.what()));
    } catch (...) {
        ShowHandlerError(message.hwnd, std::wstring());
    }
    return 0;
}

void ThreadWindow::ShowHandlerError(HWND owner, std::wstring const& detail) const {
    ShowMessageBox(owner, L"Unhandled " + mClassName + L" exception: \n" + detail, L"Error", MB_ICONERROR);
}
