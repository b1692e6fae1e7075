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

// A focused window on a thread of its own that records the input it receives: the replaying
// thread drops key messages from its own queue, as the sharing side's does. Records read
// "key <message> <key> <extended>", "wheel <delta>" and "<button message> <x>,<y>".
class InputWindow : public RecordLog {
public:
    InputWindow() : mThread([this] { Run(); }) { mReady.Wait(5000); }
    ~InputWindow() {
        PostMessageW(mWindow, WM_CLOSE, 0, 0);
        mThread.Join();
    }
    HWND Handle() const { return mWindow; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto self = reinterpret_cast<InputWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && message >= WM_KEYDOWN && message <= WM_SYSKEYUP) {
            self->Add("key " + std::to_string(message) + " " + std::to_string(wParam) + " " +
                      std::to_string((lParam >> 24) & 1));
        } else if (self && message == WM_MOUSEWHEEL) {
            self->Add("wheel " + std::to_string(GET_WHEEL_DELTA_WPARAM(wParam)));
        } else if (self && message >= WM_LBUTTONDOWN && message < WM_MOUSEWHEEL) {
            self->Add(std::to_string(message) + " " + std::to_string(LOWORD(lParam)) + "," +
                      std::to_string(HIWORD(lParam)));
        } else if (message == WM_DESTROY) {
            PostQuitMessage(0);
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    void Run() {
        WNDCLASSW type = {};
        type.style = CS_DBLCLKS;
        type.lpfnWndProc = &Proc;
        type.hInstance = GetModuleHandleW(nullptr);
        type.lpszClassName = L"CorvaneInputWindow";
        RegisterClassW(&type);
        mWindow = CreateWindowExW(WS_EX_TOPMOST, type.lpszClassName, L"input", WS_POPUP | WS_VISIBLE, 300,
                                  200, 400, 300, nullptr, nullptr, type.hInstance, nullptr);
        SetWindowLongPtrW(mWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetForegroundWindow(mWindow);
        SetFocus(mWindow);
        mReady.Set();
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            DispatchMessageW(&message);
        }
    }

    HWND mWindow = nullptr;
    SyncEvent mReady;
    WorkerThread mThread;
};

bool Replay(UINT message, unsigned wParam, long lParam) {
    return InputReplay::Replay(WindowEventNetMsg(message, wParam, lParam));
}

long Position(int x, int y) {
    return long(unsigned(x & 0xFFFF) | unsigned(y & 0xFFFF) << 16);
}

bool CursorReaches(POINT wanted) {
    POINT at = {-1, -1};
    for (int i = 0; i < 100; ++i) {
        if (GetCursorPos(&at) && at.x == wanted.x && at.y == wanted.y) {
            return true;
        }
        Sleep(10);
    }
    ADD_FAILURE() << "cursor at " << at.x << "," << at.y << ", wanted " << wanted.x << "," << wanted.y;
    return false;
}

// Every column and every row, the last ones included: a truncated position would land one
// pixel short on most of them.
TEST(InputReplayTest, CursorLandsOnThePixelSent) {
    SIZE const desktop = DesktopUtil::GetDesktopResolution();
    for (int i = 0; i < std::max(desktop.cx, desktop.cy); ++i) {
        POINT const wanted = {i % desktop.cx, desktop.cy - 1 - i % desktop.cy};
        ASSERT_TRUE(Replay(WM_MOUSEMOVE, 0, Position(wanted.x, wanted.y)));
        POINT at;
        ASSERT_TRUE(GetCursorPos(&at));
        ASSERT_EQ(at.x, wanted.x);
        ASSERT_EQ(at.y, wanted.y);
    }
    EXPECT_TRUE(Replay(WM_MOUSEMOVE, 0, Position(-5, 10))) << "left of the screen";
    EXPECT_TRUE(CursorReaches(POINT{0, 10})) << "clipped to the screen";
}

// The keys, the extended flag, the wheel, the buttons and the double click reach a window of
// another thread that has the focus, where the moves before them put the cursor; nothing else
// is replayed.
TEST(InputReplayTest, WindowReceivesKeysWheelAndClicksAndNothingElse) {
    InputWindow window;
    ASSERT_EQ(GetForegroundWindow(), window.Handle());
    RECT rect;
    GetWindowRect(window.Handle(), &rect);
    POINT const inside = {rect.left + 50, rect.top + 40};
    std::string const key = "key " + std::to_string(WM_KEYDOWN) + " ",
                      up = "key " + std::to_string(WM_KEYUP) + " ";
    std::string const right = std::to_string(VK_RIGHT);

    ASSERT_TRUE(Replay(WM_KEYDOWN, 'A', 0x001E0001));  // a repeat count and a scan code, not extended
    ASSERT_TRUE(Replay(WM_KEYUP, 'A', 0x001E0001));
    ASSERT_TRUE(Replay(WM_KEYDOWN, VK_RIGHT, 0x01000000));
    ASSERT_TRUE(Replay(WM_KEYUP, VK_RIGHT, 0x01000000));
    ASSERT_TRUE(window.WaitFor(up + right + " 1", 3000));
    EXPECT_EQ(window.Records(),
              (std::vector<std::string>{key + "65 0", up + "65 0", key + right + " 1", up + right + " 1"}));

    window.Clear();
    ASSERT_TRUE(Replay(WM_MOUSEMOVE, 0, Position(inside.x, inside.y)));
    ASSERT_TRUE(CursorReaches(inside));
    ASSERT_TRUE(Replay(WM_MOUSEWHEEL, 0xFF880000, Position(inside.x, inside.y)));
    // A click lands where the cursor is, not where the click says.
    ASSERT_TRUE(Replay(WM_RBUTTONDOWN, 0, Position(0, 0)));
    ASSERT_TRUE(Replay(WM_RBUTTONUP, 0, Position(0, 0)));
    std::string const at = " 50,40";
    ASSERT_TRUE(window.WaitFor(std::to_string(WM_RBUTTONUP) + at, 3000));
    EXPECT_EQ(window.Records(), (std::vector<std::string>{"wheel -120", std::to_string(WM_RBUTTONDOWN) + at,
                                                          std::to_string(WM_RBUTTONUP) + at}));

    Sleep(GetDoubleClickTime() + 50);  // the right click must not pair with what follows
    window.Clear();
    ASSERT_TRUE(Replay(WM_LBUTTONDBLCLK, 0, Position(0, 0)));
    ASSERT_TRUE(window.WaitFor(std::to_string(WM_LBUTTONUP) + at, 3000, 2));
    std::vector<std::string> clicks;
    for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}) {
        clicks.push_back(std::to_string(message) + at);
    }
    EXPECT_EQ(window.Records(), clicks);

    // Alt and its combinations come as system keys: they must not be lost with the messages
    // that are not replayed.
    EXPECT_TRUE(Replay(WM_SYSKEYDOWN, VK_MENU, 0));
    EXPECT_TRUE(Replay(WM_SYSKEYUP, VK_MENU, 0));
    for (UINT message :
         {UINT(WM_CHAR), UINT(WM_DEADCHAR), 0x106u, 0x107u, 0x108u, 0x109u, 0x1FFu, UINT(WM_RBUTTONDBLCLK),
          UINT(WM_MBUTTONDBLCLK), 0x20Bu, 0x20Eu, UINT(WM_USER), UINT(WM_QUIT), 0xFFFFFFFFu, 0u}) {
        SCOPED_TRACE(message);
        EXPECT_FALSE(Replay(message, 0x41, Position(900, 900)));
    }
    EXPECT_TRUE(CursorReaches(inside)) << "neither a double click nor an ignored message moves it";
}

}  // namespace
