#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "RecordLog.h"
#include "WorkerThread.h"
#include "foundation/DesktopUtil.h"
#include "foundation/SyncEvent.h"
#include "input/InputReplay.h"
#include "network/ControlMessages.h"

namespace {

RecordLog gReceived;  // "<message> <key> <extended>", "<message> <delta>", "<message> <x>,<y>"

LRESULT CALLBACK Receive(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::string const name = std::to_string(message) + " ";
    if (message >= WM_KEYDOWN && message <= WM_SYSKEYUP) {
        gReceived.Add(name + std::to_string(wParam) + " " + std::to_string((lParam >> 24) & 1));
    } else if (message == WM_MOUSEWHEEL) {
        gReceived.Add(name + std::to_string(GET_WHEEL_DELTA_WPARAM(wParam)));
    } else if (message >= WM_LBUTTONDOWN && message < WM_MOUSEWHEEL) {
        gReceived.Add(name + std::to_string(LOWORD(lParam)) + "," + std::to_string(HIWORD(lParam)));
    } else if (message == WM_DESTROY) {
        PostQuitMessage(0);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A focused window on a thread of its own: the replaying thread drops key messages from its
// own queue, as the sharing side's does.
struct InputWindow {
    InputWindow() : thread([this] { Run(); }) { ready.Wait(5000); }
    ~InputWindow() {
        PostMessageW(handle, WM_CLOSE, 0, 0);
        thread.Join();
    }
    void Run() {
        WNDCLASSW type = {CS_DBLCLKS, &Receive, 0,       0,       GetModuleHandleW(nullptr),
                          nullptr,    nullptr,  nullptr, nullptr, L"CorvaneInputWindow"};
        RegisterClassW(&type);
        handle = CreateWindowExW(WS_EX_TOPMOST, type.lpszClassName, L"input", WS_POPUP | WS_VISIBLE, 300, 200,
                                 400, 300, nullptr, nullptr, type.hInstance, nullptr);
        SetForegroundWindow(handle);
        SetFocus(handle);
        ready.Set();
        for (MSG message; GetMessageW(&message, nullptr, 0, 0) > 0;) {
            DispatchMessageW(&message);
        }
    }

    HWND handle = nullptr;
    SyncEvent ready;
    WorkerThread thread;
};

bool Replay(UINT message, unsigned wParam, long lParam) {
    return InputReplay::Replay(WindowEventNetMsg(message, wParam, lParam));
}

bool CursorAt(POINT wanted) {
    POINT at;
    return GetCursorPos(&at) && at.x == wanted.x && at.y == wanted.y;
}

// The cursor reaches every column and row (a truncated position lands one short). Keys, buttons
// (where the cursor is) and the wheel reach the focused window, Alt too; nothing else is replayed.
TEST(InputReplayTest, InputLandsAsSentAndNothingElseIsReplayed) {
    SIZE const desktop = DesktopUtil::GetDesktopResolution();
    for (int i = 0; i < std::max(desktop.cx, desktop.cy); ++i) {
        POINT const wanted = {i % desktop.cx, desktop.cy - 1 - i % desktop.cy};
        ASSERT_TRUE(Replay(WM_MOUSEMOVE, 0, MAKELPARAM(wanted.x, wanted.y)) && CursorAt(wanted)) << i;
    }
    EXPECT_TRUE(Replay(WM_MOUSEMOVE, 0, MAKELPARAM(-5, 10)));
    EXPECT_TRUE(CursorAt(POINT{0, 10})) << "clipped to the screen";

    InputWindow window;
    POINT const inside = {350, 240};
    ASSERT_TRUE(Replay(WM_MOUSEMOVE, 0, MAKELPARAM(inside.x, inside.y)));
    ASSERT_TRUE(CursorAt(inside));
    ASSERT_TRUE(Replay(WM_KEYDOWN, 'A', 0x001E0001));  // a repeat count and a scan code, not extended
    ASSERT_TRUE(Replay(WM_KEYUP, 'A', 0x001E0001));
    ASSERT_TRUE(Replay(WM_KEYDOWN, VK_RIGHT, 0x01000000));
    ASSERT_TRUE(Replay(WM_KEYUP, VK_RIGHT, 0x01000000));
    ASSERT_TRUE(Replay(WM_LBUTTONDBLCLK, 0, 0));
    ASSERT_TRUE(Replay(WM_MOUSEWHEEL, 0xFF880000, 0));
    ASSERT_TRUE(Replay(WM_RBUTTONDOWN, 0, 0));
    ASSERT_TRUE(Replay(WM_RBUTTONUP, 0, 0));
    // Keys down 256 and up 257; the left button down 513, up 514, double 515; wheel 522; right 516, 517.
    std::vector<std::string> const expected = {"256 65 0",  "257 65 0",  "256 39 1",  "257 39 1",
                                               "513 50,40", "514 50,40", "515 50,40", "514 50,40",
                                               "522 -120",  "516 50,40", "517 50,40"};
    ASSERT_TRUE(gReceived.WaitFor(expected.back(), 3000));
    EXPECT_EQ(gReceived.Records(), expected);

    EXPECT_TRUE(Replay(WM_SYSKEYDOWN, VK_MENU, 0));
    EXPECT_TRUE(Replay(WM_SYSKEYUP, VK_MENU, 0));
    for (UINT message : {UINT(WM_CHAR), 0x109u, 0u, UINT(WM_RBUTTONDBLCLK), UINT(WM_MBUTTONDBLCLK), 0x20Bu,
                         0x20Eu, UINT(WM_USER), 0xFFFFFFFFu}) {
        EXPECT_FALSE(Replay(message, 0x41, MAKELPARAM(900, 900))) << message;
    }
    EXPECT_TRUE(CursorAt(inside)) << "neither a double click nor an ignored message moves it";
}

}  // namespace
