#pragma once

#include <windows.h>

#include <vector>

// A borderless topmost window over the whole screen that shows black with coloured
// rectangles on it, so tests and benchmarks know every pixel of the screen. Build, use and
// destroy it on one thread; that thread's messages are pumped while it waits.
class ScreenScene {
public:
    // Shows the black window and waits until the screen shows it.
    ScreenScene();
    ~ScreenScene();
    ScreenScene(ScreenScene const&) = delete;
    ScreenScene& operator=(ScreenScene const&) = delete;

    // Paints `rect` in `colour` over what is there and waits until the screen shows it.
    // False when it did not within the time-out.
    bool Fill(RECT const& rect, COLORREF colour);
    // Back to all black.
    bool Reset();
    bool IsShown() const { return mShown; }
    SIZE GetSize() const { return mSize; }

    // The screen's pixels of `rect` as packed blue, green, red.
    static std::vector<unsigned char> Grab(RECT const& rect);

private:
    struct Paint {
        RECT rect;
        COLORREF colour;
    };

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnPaint();
    bool WaitUntilShown(RECT const& rect, COLORREF colour);

    HWND mWindow = nullptr;
    SIZE mSize;
    std::vector<Paint> mPaints;
    bool mShown = false;
};
