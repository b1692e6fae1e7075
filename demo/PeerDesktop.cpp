#include "PeerDesktop.h"

#include "foundation/SyncEvent.h"

namespace {
UINT const kRunMessage = WM_APP + 1;
wchar_t const kWindowClass[] = L"CorvanePeerDesktop";

std::wstring Wide(std::string const& utf8) {
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
    return wide;
}

std::string Utf8(wchar_t const* wide) {
    int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(length > 0 ? length - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), length, nullptr, nullptr);
    return utf8;
}
}  // namespace

PeerDesktop::PeerDesktop() {
    SyncEvent ready;
    mThread.Start([this, &ready] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = &PeerDesktop::WindowProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kWindowClass;
        RegisterClassExW(&windowClass);
        mWindow = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kWindowClass, L"Corvane peer", WS_POPUP,
                                  0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(mWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ready.Set();
        Run();
    });
    ready.Wait(INFINITE);
}

PeerDesktop::~PeerDesktop() {
    PostMessageW(mWindow, WM_CLOSE, 0, 0);
    mThread.Join();
}

void PeerDesktop::Run() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
}

void PeerDesktop::OnWindowThread(std::function<void()> const& work) {
    SendMessageW(mWindow, kRunMessage, 0, reinterpret_cast<LPARAM>(&work));
}

LRESULT CALLBACK PeerDesktop::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<PeerDesktop*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case kRunMessage:
            (*reinterpret_cast<std::function<void()> const*>(lParam))();
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            HBRUSH brush = CreateSolidBrush(self ? self->mColour : RGB(0, 0, 0));
            FillRect(dc, &paint.rcPaint, brush);
            DeleteObject(brush);
            if (self) {
                self->DrawPattern(dc);
            }
            EndPaint(window, &paint);
            return 0;
        }
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool PeerDesktop::Paint(unsigned colour, DWORD timeoutMs) {
    OnWindowThread([&] {
        mColour = RGB((colour >> 16) & 0xff, (colour >> 8) & 0xff, colour & 0xff);
        ShowWindow(mWindow, SW_SHOWNOACTIVATE);
        InvalidateRect(mWindow, nullptr, TRUE);
        UpdateWindow(mWindow);
    });
    // The X server draws in its own time: the colour counts once the screen shows it.
    return WaitForPixel(GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2,
                        static_cast<long>(colour), timeoutMs);
}

bool PeerDesktop::WaitForPixel(int x, int y, long colour, DWORD timeoutMs) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(50)) {
        if (Pixel(x, y) == colour) {
            return true;
        }
    }
    return false;
}

RECT PeerDesktop::PatternMark() {
    return RECT{100, 100, 300, 200};
}

COLORREF PeerDesktop::PatternColour(unsigned seed, int index) {
    unsigned value = seed * 2654435761u + static_cast<unsigned>(index) * 40503u;
    value ^= value >> 13;
    return RGB(value & 0xff, (value >> 8) & 0xff, (value >> 16) & 0xff);
}

void PeerDesktop::DrawPattern(HDC dc) const {
    if (mPattern == 0) {
        return;
    }
    for (int i = 0; i < 12; ++i) {
        RECT rect = PatternMark();
        OffsetRect(&rect, (i % 4) * 260 + static_cast<int>(mPattern % 37), (i / 4) * 230 + i * 7);
        FillSolid(dc, rect, PatternColour(mPattern, i));
    }
    for (int line = 0; line < 20; ++line) {
        WriteLine(dc, 20 + line * 11, 40 + line * 45,
                  L"Corvane pattern " + std::to_wstring(mPattern) + L" line " + std::to_wstring(line));
    }
}

void PeerDesktop::FillSolid(HDC dc, RECT const& rect, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

void PeerDesktop::WriteLine(HDC dc, int x, int y, std::wstring const& text) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

bool PeerDesktop::PaintPattern(unsigned seed, DWORD timeoutMs) {
    OnWindowThread([&] {
        mPattern = seed;
        ShowWindow(mWindow, SW_SHOWNOACTIVATE);
        InvalidateRect(mWindow, nullptr, TRUE);
        UpdateWindow(mWindow);
    });
    RECT mark = PatternMark();
    OffsetRect(&mark, static_cast<int>(seed % 37), 0);
    COLORREF const colour = seed ? PatternColour(seed, 0) : mColour;
    long const rgb = static_cast<long>(GetRValue(colour)) << 16 | GetGValue(colour) << 8 | GetBValue(colour);
    return WaitForPixel((mark.left + mark.right) / 2, (mark.top + mark.bottom) / 2, rgb, timeoutMs);
}

long PeerDesktop::Pixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    COLORREF pixel = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    if (pixel == CLR_INVALID) {
        return -1;
    }
    return static_cast<long>(GetRValue(pixel)) << 16 | GetGValue(pixel) << 8 | GetBValue(pixel);
}

bool PeerDesktop::PutClipboardText(std::string const& utf8) {
    bool done = false;
    OnWindowThread([&] {
        std::wstring text = Wide(utf8);
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
        if (!memory || !OpenClipboard(mWindow)) {
            GlobalFree(memory);
            return;
        }
        memcpy(GlobalLock(memory), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        GlobalUnlock(memory);
        EmptyClipboard();
        done = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        if (!done) {
            GlobalFree(memory);
        }
        CloseClipboard();
    });
    return done;
}

bool PeerDesktop::ClipboardText(std::string& utf8) {
    bool found = false;
    OnWindowThread([&] {
        if (!OpenClipboard(mWindow)) {
            return;
        }
        HANDLE data = GetClipboardData(CF_UNICODETEXT);
        auto const* text = data ? static_cast<wchar_t const*>(GlobalLock(data)) : nullptr;
        if (text) {
            utf8 = Utf8(text);
            found = true;
            GlobalUnlock(data);
        }
        CloseClipboard();
    });
    return found;
}
