#include "ScreenScene.h"

#include "MessagePump.h"
#include "capture/ScreenGrab.h"

namespace {
constexpr wchar_t kClassName[] = L"CorvaneTestScreenScene";
constexpr DWORD kShowTimeoutMs = 10000;
constexpr DWORD kPollMs = 5;
}  // namespace

ScreenScene::ScreenScene()
    : mSize{GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)} {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &ScreenScene::WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);
    mWindow = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, L"", WS_POPUP, 0, 0, mSize.cx,
                              mSize.cy, nullptr, nullptr, windowClass.hInstance, nullptr);
    SetWindowLongPtrW(mWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ShowWindow(mWindow, SW_SHOWNOACTIVATE);
    mShown = WaitUntilShown(RECT{0, 0, mSize.cx, mSize.cy}, RGB(0, 0, 0));
}

ScreenScene::~ScreenScene() {
    DestroyWindow(mWindow);
    PumpMessagesUntil([] { return false; }, 50);
    UnregisterClassW(kClassName, GetModuleHandleW(nullptr));
}

bool ScreenScene::Fill(RECT const& rect, COLORREF colour) {
    mPaints.push_back(Paint{rect, colour});
    InvalidateRect(mWindow, &rect, FALSE);
    UpdateWindow(mWindow);
    return WaitUntilShown(rect, colour);
}

bool ScreenScene::Reset() {
    mPaints.clear();
    InvalidateRect(mWindow, nullptr, TRUE);
    UpdateWindow(mWindow);
    return WaitUntilShown(RECT{0, 0, mSize.cx, mSize.cy}, RGB(0, 0, 0));
}

std::vector<unsigned char> ScreenScene::Grab(RECT const& rect) {
    std::vector<unsigned char> pixels(std::size_t(rect.right - rect.left) * (rect.bottom - rect.top) * 3);
    HDC screen = GetDC(nullptr);
    ScreenGrab::Grab(screen, rect, pixels.data(), SRCCOPY, 3);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// The window's drawing reaches the X screen some time later: look at the screen itself.
bool ScreenScene::WaitUntilShown(RECT const& rect, COLORREF colour) {
    unsigned char const expected[3] = {GetBValue(colour), GetGValue(colour), GetRValue(colour)};
    auto shown = [&] {
        std::vector<unsigned char> pixels = Grab(rect);
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            if (pixels[i] != expected[i % 3]) {
                return false;
            }
        }
        return true;
    };
    // Polled: the screen can change without any message arriving for this thread.
    DWORD const begin = GetTickCount();
    while (!shown()) {
        if (GetTickCount() - begin > kShowTimeoutMs) {
            return false;
        }
        PumpMessagesUntil([] { return false; }, kPollMs);
    }
    return true;
}

void ScreenScene::OnPaint() {
    PAINTSTRUCT paint;
    HDC context = BeginPaint(mWindow, &paint);
    for (Paint const& fill : mPaints) {
        HBRUSH brush = CreateSolidBrush(fill.colour);
        FillRect(context, &fill.rect, brush);
        DeleteObject(brush);
    }
    EndPaint(mWindow, &paint);
}

LRESULT CALLBACK ScreenScene::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* scene = reinterpret_cast<ScreenScene*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_PAINT && scene) {
        scene->OnPaint();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
