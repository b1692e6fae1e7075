#include "capture/QuvixSinkWindow.h"

#include "capture/QuvixDriver.h"
#include "foundation/CorvaneLogging.h"

namespace {
constexpr unsigned long kCreateTimeoutMs = 5000;
constexpr unsigned long kJoinMs = 2000;
}  // namespace

QuvixSinkWindow::QuvixSinkWindow(CQuvixDriver& driver) : mDriver(driver), mThread("QuvixSink") {
    mThread.Bind(MakeDelegate<&QuvixSinkWindow::Body>(this));
    mThread.Start();
    if (SyncEvent::Wait(mCreated, mThread.GetIsStoppedEvent(), kCreateTimeoutMs) != 0 || !mHwnd) {
        CORVANE_LOG("Display change sink window not made");
    }
}

QuvixSinkWindow::~QuvixSinkWindow() {
    if (DWORD thread = mThreadId) {
        PostThreadMessageW(thread, WM_QUIT, 0, 0);
    }
    mThread.Join(kJoinMs, true);
}

void QuvixSinkWindow::Body() {
    HINSTANCE module = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &QuvixSinkWindow::WindowProc;
    windowClass.hInstance = module;
    windowClass.lpszClassName = CQuvixDriver::kSinkClass;
    RegisterClassW(&windowClass);  // a class left by an earlier sink serves as well
    mThreadId = GetCurrentThreadId();
    HWND window = CreateWindowExW(0, CQuvixDriver::kSinkClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  module, nullptr);
    if (window) {
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    mHwnd = window;
    mCreated.Set();
    MSG message;
    while (window && GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    if (window) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
    }
    UnregisterClassW(CQuvixDriver::kSinkClass, module);
}

LRESULT CALLBACK QuvixSinkWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* sink = reinterpret_cast<QuvixSinkWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (sink && sink->Handle(message, lParam)) {
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool QuvixSinkWindow::Handle(UINT message, LPARAM lParam) {
    if (message == WM_DISPLAYCHANGE) {
        mDriver.OnDisplayChange(SIZE{LOWORD(lParam), HIWORD(lParam)});
    } else if (message == mDriver.GetDestroySurfacesMessage()) {
        mDriver.UnmapSurfaces();
    } else if (message == mDriver.GetCreateSurfacesMessage()) {
        mDriver.MapSurfaces();
    } else {
        return false;
    }
    return true;
}
