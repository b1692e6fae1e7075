#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "WorkerThread.h"

// This machine's own screen and clipboard, as the person in front of it would use them: a
// full-screen window painted in one colour, the colour of a screen pixel, and the clipboard's
// text. Its window lives on a thread of its own (it also owns what it puts on the clipboard).
// Call it from one thread.
class PeerDesktop {
public:
    PeerDesktop();
    ~PeerDesktop();
    PeerDesktop(PeerDesktop const&) = delete;
    PeerDesktop& operator=(PeerDesktop const&) = delete;

    // Covers the screen with `colour` (0xRRGGBB); false when the screen did not show it within
    // `timeoutMs`.
    bool Paint(unsigned colour, DWORD timeoutMs);
    // Draws rectangles and lines of text chosen by `seed` over the colour (0: none); false when
    // the screen did not show them within `timeoutMs`.
    bool PaintPattern(unsigned seed, DWORD timeoutMs);
    // The screen's pixel as 0xRRGGBB; -1 outside the screen.
    long Pixel(int x, int y);
    bool PutClipboardText(std::string const& utf8);
    // Drawing helpers of the patterns: a solid rectangle, a white line of text.
    static void FillSolid(HDC dc, RECT const& rect, COLORREF colour);
    static void WriteLine(HDC dc, int x, int y, std::wstring const& text);
    // The clipboard's text; false when it holds none.
    bool ClipboardText(std::string& utf8);

private:
    void Run();
    // Runs `work` on the window's thread and waits for it.
    void OnWindowThread(std::function<void()> const& work);
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The pattern's first rectangle and its colour, which tell that the pattern shows.
    static RECT PatternMark();
    static COLORREF PatternColour(unsigned seed, int index);
    void DrawPattern(HDC dc) const;
    bool WaitForPixel(int x, int y, long colour, DWORD timeoutMs);

    HWND mWindow = nullptr;  // owned by the window thread
    COLORREF mColour = RGB(0, 0, 0);
    unsigned mPattern = 0;
    WorkerThread mThread;
};
