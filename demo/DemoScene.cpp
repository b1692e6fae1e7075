// corvane_scene.exe: the changing window of the demo's sharing machine (moving shapes, a
// clock, some text) and the pictures the demo compares. One command a line on standard input,
// one line of output each:
//   mark RRGGBB   paints the marker square (screen 96..160, 96..160); "marked RRGGBB at MS"
//   hold | go     stops or restarts the animation
//   shot FILE     saves the whole screen as PNG
//   psnr A B      the PSNR of two PNG files of one size, over R, G and B, and the largest
//                 difference of a component
//   move X Y      moves the window (the marker goes with it: X+16..X+80, Y+16..Y+80)
//   cursor        where the mouse is
//   quit
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "WorkerThread.h"
#include "imaging/Picture.h"

namespace {

constexpr int kLeft = 80;
constexpr int kTop = 80;
constexpr int kWidth = 640;
constexpr int kHeight = 420;
constexpr UINT kMark = WM_APP + 1;
constexpr UINT kHold = WM_APP + 2;

HWND gWindow = nullptr;
HANDLE gDone = nullptr;  // a mark was painted
COLORREF gMarker = RGB(0, 0, 0);
bool gHold = false;
int gStep = 0;

double NowMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Say(std::string const& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void Paint(HDC dc) {
    RECT all = {0, 0, kWidth, kHeight};
    HBRUSH back = CreateSolidBrush(RGB(236, 240, 246));
    FillRect(dc, &all, back);
    DeleteObject(back);
    RECT marker = {16, 16, 80, 80};
    HBRUSH mark = CreateSolidBrush(gMarker);
    FillRect(dc, &marker, mark);
    DeleteObject(mark);
    // Shapes that move along their own paths.
    double const t = gStep / 20.0;
    for (int i = 0; i < 4; ++i) {
        int const x =
            140 + static_cast<int>((kWidth - 260) * (0.5 + 0.5 * std::sin(t * (0.7 + 0.3 * i) + i)));
        int const y =
            110 + static_cast<int>((kHeight - 200) * (0.5 + 0.5 * std::cos(t * (0.5 + 0.2 * i) + 2 * i)));
        HBRUSH brush = CreateSolidBrush(RGB(60 * i, 200 - 40 * i, 90 + 50 * i));
        HGDIOBJ old = SelectObject(dc, brush);
        if (i % 2) {
            Ellipse(dc, x, y, x + 70, y + 70);
        } else {
            Rectangle(dc, x, y, x + 80, y + 50);
        }
        SelectObject(dc, old);
        DeleteObject(brush);
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[96];
    std::snprintf(text, sizeof(text), "Corvane demo   %02d:%02d:%02d.%03d   frame %d", now.wHour, now.wMinute,
                  now.wSecond, now.wMilliseconds, gStep);
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, 100, 30, text, static_cast<int>(std::strlen(text)));
    char const line[] = "alice's desktop, shown to bob through the messenger";
    TextOutA(dc, 100, kHeight - 40, line, static_cast<int>(sizeof(line) - 1));
}

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (!gHold) {
                ++gStep;
                InvalidateRect(window, nullptr, FALSE);
            }
            return 0;
        case kMark:
            gMarker = static_cast<COLORREF>(wParam);
            InvalidateRect(window, nullptr, FALSE);
            UpdateWindow(window);
            GdiFlush();
            SetEvent(gDone);
            return 0;
        case kHold:
            gHold = wParam != 0;
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            Paint(dc);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

void Shot(std::string const& file) {
    int const width = GetSystemMetrics(SM_CXSCREEN);
    int const height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    Picture::FromBitmap(bitmap).Save(std::wstring(file.begin(), file.end()), Picture::Format::Png);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    Say("shot " + file + " " + std::to_string(width) + "x" + std::to_string(height));
}

void Psnr(std::string const& first, std::string const& second) {
    Picture const a = Picture::Load(std::wstring(first.begin(), first.end()));
    Picture const b = Picture::Load(std::wstring(second.begin(), second.end()));
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.IsEmpty()) {
        Say("error psnr: the pictures differ in size");
        return;
    }
    double squares = 0;
    int largest = 0;
    std::size_t const count = static_cast<std::size_t>(a.GetWidth()) * a.GetHeight();
    for (std::size_t i = 0; i < count; ++i) {
        for (int shift = 0; shift < 24; shift += 8) {
            int const d = int((a.GetPixels()[i] >> shift) & 0xFF) - int((b.GetPixels()[i] >> shift) & 0xFF);
            squares += double(d) * d;
            largest = std::max(largest, std::abs(d));
        }
    }
    double const mse = squares / (3.0 * count);
    char line[96];
    if (mse == 0) {
        std::snprintf(line, sizeof(line), "psnr identical (infinite dB), largest difference 0");
    } else {
        std::snprintf(line, sizeof(line), "psnr %.2f dB, largest difference %d",
                      10.0 * std::log10(255.0 * 255.0 / mse), largest);
    }
    Say(line);
}

void Commands() {
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::string const name = line.substr(0, line.find(' '));
        std::string const rest = line.find(' ') == std::string::npos ? "" : line.substr(line.find(' ') + 1);
        try {
            if (name == "mark") {
                unsigned long const rgb = std::stoul(rest, nullptr, 16);
                ResetEvent(gDone);
                PostMessageA(gWindow, kMark, RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF), 0);
                WaitForSingleObject(gDone, 5000);
                char text[64];
                std::snprintf(text, sizeof(text), "marked %06lx at %.1f ms", rgb, NowMs());
                Say(text);
            } else if (name == "hold" || name == "go") {
                PostMessageA(gWindow, kHold, name == "hold", 0);
                Say(name == "hold" ? "holding" : "going");
            } else if (name == "shot") {
                Shot(rest);
            } else if (name == "psnr") {
                Psnr(rest.substr(0, rest.find(' ')), rest.substr(rest.find(' ') + 1));
            } else if (name == "move") {
                int const x = std::stoi(rest);
                int const y = std::stoi(rest.substr(rest.find(' ') + 1));
                SetWindowPos(gWindow, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
                Say("moved " + std::to_string(x) + " " + std::to_string(y));
            } else if (name == "cursor") {
                POINT at;
                GetCursorPos(&at);
                Say("cursor " + std::to_string(at.x) + " " + std::to_string(at.y));
            } else if (name == "quit") {
                break;
            } else if (!name.empty()) {
                Say("error unknown command " + name);
            }
        } catch (std::exception const& error) {
            Say(std::string("error ") + name + ": " + error.what());
        }
    }
    Say("bye");
    PostMessageA(gWindow, WM_CLOSE, 0, 0);
}

}  // namespace

int main() {
    gDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    WNDCLASSA type = {};
    type.lpfnWndProc = Procedure;
    type.hInstance = GetModuleHandleA(nullptr);
    type.lpszClassName = "CorvaneScene";
    type.hCursor = LoadCursor(nullptr, IDC_ARROW);
    RegisterClassA(&type);
    gWindow = CreateWindowExA(WS_EX_TOPMOST, "CorvaneScene", "Corvane demo", WS_POPUP | WS_VISIBLE, kLeft,
                              kTop, kWidth, kHeight, nullptr, nullptr, type.hInstance, nullptr);
    SetTimer(gWindow, 1, 40, nullptr);
    Say("scene " + std::to_string(kLeft) + " " + std::to_string(kTop) + " " + std::to_string(kWidth) + "x" +
        std::to_string(kHeight));
    WorkerThread reader(Commands);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        DispatchMessageA(&message);
    }
    reader.Join();
    return 0;
}
