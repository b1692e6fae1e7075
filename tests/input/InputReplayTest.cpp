#include <gtest/gtest.h>

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "WorkerThread.h"
#include "foundation/DesktopUtil.h"
#include "foundation/SyncEvent.h"
#include "input/InputReplay.h"
#include "network/ControlMessages.h"

namespace {

struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// A focused window on a thread of its own that records the input it receives: the replaying
// thread drops key messages from its own queue, as the sharing side's does.
class InputWindow {
public:
    InputWindow() : mThread([this] { Run(); }) { mReady.Wait(5000); }
    ~InputWindow() {
        PostMessageW(mWindow, WM_CLOSE, 0, 0);
        mThread.Join();
    }

    RECT ScreenRect() const {
        RECT rect;
        GetWindowRect(mWindow, &rect);
        return rect;
    }
    bool IsForeground() const { return GetForegroundWindow() == mWindow; }

    // The recorded messages once `count` of them have the number `last`, or after the time-out.
    std::vector<Seen> WaitFor(UINT last, int count = 1, DWORD timeout = 3000) {
        DWORD const begin = GetTickCount();
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mMutex);
                int found = 0;
                for (Seen const& seen : mSeen) {
                    found += seen.message == last;
                }
                if (found >= count) {
                    return mSeen;
                }
            }
            DWORD const spent = GetTickCount() - begin;
            if (spent >= timeout) {
                std::lock_guard<std::mutex> lock(mMutex);
                return mSeen;
            }
            mArrived.Wait(timeout - spent);
        }
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mMutex);
        mSeen.clear();
    }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto self = reinterpret_cast<InputWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        bool const input = (message >= WM_KEYDOWN && message <= WM_SYSKEYUP) ||
                           (message >= WM_LBUTTONDOWN && message <= WM_MOUSEWHEEL);
        if (self && input) {
            {
                std::lock_guard<std::mutex> lock(self->mMutex);
                self->mSeen.push_back(Seen{message, wParam, lParam});
            }
            self->mArrived.Set();
        }
        if (message == WM_DESTROY) {
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
    SyncEvent mArrived;
    std::mutex mMutex;
    std::vector<Seen> mSeen;
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

TEST(InputReplayTest, NormalisedPositionRoundsUp) {
    struct Case {
        int position, extent;
        long expected;
    } const cases[] = {
        {512, 1024, 32768},  {1023, 1024, 65472}, {767, 768, 65451}, {512, 1280, 26215},    {0, 1280, 0},
        {1279, 1280, 65485}, {-10, 1280, -512},   {-1, 1280, -51},   {32767, 800, 2684273},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(std::to_string(c.position) + " of " + std::to_string(c.extent));
        long const normalised = InputReplay::Normalise(c.position, c.extent);
        EXPECT_EQ(normalised, c.expected);
        // The system's way back truncates (an arithmetic shift, so negatives round down).
        EXPECT_EQ((std::int64_t(normalised) * c.extent) >> 16, c.position);
    }
}

// Every column of a row and every third row of a column, the last ones included: a
// truncated position would land one pixel short on most of them.
TEST(InputReplayTest, CursorLandsOnThePixelSent) {
    SIZE const desktop = DesktopUtil::GetDesktopResolution();
    for (int x = 0; x < desktop.cx; ++x) {
        ASSERT_TRUE(Replay(WM_MOUSEMOVE, 0, Position(x, 333)));
        POINT at;
        ASSERT_TRUE(GetCursorPos(&at));
        ASSERT_EQ(at.x, x);
        ASSERT_EQ(at.y, 333);
    }
    for (int y = desktop.cy - 1; y >= 0; y -= 3) {
        ASSERT_TRUE(Replay(WM_MOUSEMOVE, 0, Position(777, y)));
        POINT at;
        ASSERT_TRUE(GetCursorPos(&at));
        ASSERT_EQ(at.y, y);
    }
    EXPECT_TRUE(Replay(WM_MOUSEMOVE, 0, Position(-5, 10))) << "left of the screen";
    EXPECT_TRUE(CursorReaches(POINT{0, 10})) << "clipped to the screen";
}

TEST(InputReplayTest, OnlyKeyAndMouseMessagesAreReplayed) {
    UINT const ignored[] = {
        WM_CHAR,          WM_DEADCHAR, 0x106, 0x107,   0x108,   0x109,      0x1FF, WM_RBUTTONDBLCLK,
        WM_MBUTTONDBLCLK, 0x20B,       0x20E, WM_USER, WM_QUIT, 0xFFFFFFFF, 0};
    ASSERT_TRUE(Replay(WM_MOUSEMOVE, 0, Position(20, 30)));
    for (UINT message : ignored) {
        SCOPED_TRACE(message);
        EXPECT_FALSE(Replay(message, 0x41, Position(900, 900)));
    }
    EXPECT_TRUE(CursorReaches(POINT{20, 30})) << "no ignored message moved the cursor";
}

// The keys, the extended flag, the wheel, the buttons and the double click reach a window of
// another thread that has the focus, where the moves before them put the cursor.
TEST(InputReplayTest, WindowReceivesKeysWheelAndClicks) {
    InputWindow window;
    ASSERT_TRUE(window.IsForeground());
    RECT const rect = window.ScreenRect();
    POINT const inside = {rect.left + 50, rect.top + 40};

    ASSERT_TRUE(Replay(WM_KEYDOWN, 'A', 0));
    ASSERT_TRUE(Replay(WM_KEYUP, 'A', 0));
    ASSERT_TRUE(Replay(WM_KEYDOWN, VK_RIGHT, 0x01000000));
    ASSERT_TRUE(Replay(WM_KEYUP, VK_RIGHT, 0x01000000));
    std::vector<Seen> seen = window.WaitFor(WM_KEYUP, 2);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].message, UINT(WM_KEYDOWN));
    EXPECT_EQ(seen[0].wParam, WPARAM('A'));
    EXPECT_EQ(seen[0].lParam & 0x01000000, 0);
    EXPECT_EQ(seen[1].message, UINT(WM_KEYUP));
    EXPECT_EQ(seen[2].message, UINT(WM_KEYDOWN));
    EXPECT_EQ(seen[2].wParam, WPARAM(VK_RIGHT));
    EXPECT_NE(seen[2].lParam & 0x01000000, 0) << "extended";
    EXPECT_EQ(seen[3].message, UINT(WM_KEYUP));

    window.Clear();
    ASSERT_TRUE(Replay(WM_MOUSEMOVE, 0, Position(inside.x, inside.y)));
    ASSERT_TRUE(CursorReaches(inside));
    ASSERT_TRUE(Replay(WM_MOUSEWHEEL, 0xFF880000, Position(inside.x, inside.y)));
    seen = window.WaitFor(WM_MOUSEWHEEL);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().message, UINT(WM_MOUSEWHEEL));
    EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(seen.back().wParam), -120);

    window.Clear();
    ASSERT_TRUE(Replay(WM_RBUTTONDOWN, 0, Position(0, 0)));
    ASSERT_TRUE(Replay(WM_RBUTTONUP, 0, Position(0, 0)));
    seen = window.WaitFor(WM_RBUTTONUP);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[seen.size() - 2].message, UINT(WM_RBUTTONDOWN));
    EXPECT_EQ(LOWORD(seen.back().lParam), 50) << "where the cursor is, not where the click says";
    EXPECT_EQ(HIWORD(seen.back().lParam), 40);

    Sleep(GetDoubleClickTime() + 50);  // the right click must not pair with what follows
    window.Clear();
    ASSERT_TRUE(Replay(WM_LBUTTONDBLCLK, 0, Position(0, 0)));
    seen = window.WaitFor(WM_LBUTTONUP, 2);
    std::vector<UINT> buttons;
    for (Seen const& s : seen) {
        if (s.message != WM_MOUSEMOVE) {
            buttons.push_back(s.message);
        }
    }
    EXPECT_EQ(buttons, (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}));
    EXPECT_TRUE(CursorReaches(inside)) << "a double click does not move";
}

}  // namespace
