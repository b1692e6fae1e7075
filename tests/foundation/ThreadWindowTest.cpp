#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include "LogCapture.h"
#include "MessageBoxCapture.h"
#include "WorkerThread.h"
#include "foundation/SyncEvent.h"
#include "foundation/ThreadWindow.h"

namespace {

constexpr DWORD kWaitMs = 5000;
constexpr UINT kAnswer = WM_USER + 1;  // answered with 42
constexpr UINT kBlock = WM_USER + 2;   // waits for `release`, then sets `handled`
constexpr UINT kThrowStd = WM_USER + 3;
constexpr UINT kThrowOther = WM_USER + 4;

class RecordingHandler : public IWindowMessageHandler {
public:
    int Handle(tagMSG const& message) override {
        switch (message.message) {
            case kAnswer:
                ++answers;
                thread = GetCurrentThreadId();
                lParam = message.lParam;
                return 42;
            case kBlock:
                release.Wait(kWaitMs);
                handled.Set();
                return 1;
            case kThrowStd:
                throw std::runtime_error("handler failed");
            case kThrowOther:
                throw 7;
            case WM_DESTROY:
                ++destroys;
                return 0;
        }
        return 0;
    }

    std::atomic<int> answers{0};
    std::atomic<int> destroys{0};
    std::atomic<DWORD> thread{0};
    std::atomic<LPARAM> lParam{0};
    SyncEvent release;
    SyncEvent handled;
};

std::wstring ClassNameOf(HWND window) {
    wchar_t name[512] = {};
    GetClassNameW(window, name, 512);
    return name;
}

TEST(ThreadWindowTest, OwnThreadWindowAnswersOnItsThreadAndCloseEndsIt) {
    RecordingHandler handler;
    ThreadWindow window(&handler, true);
    window.Create(L"TestAnswer");
    HWND hwnd = window.GetHwnd();
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(ClassNameOf(hwnd), std::wstring(ThreadWindow::kClassPrefix) + L"TestAnswer");
    DWORD windowThread = GetWindowThreadProcessId(hwnd, nullptr);
    EXPECT_NE(windowThread, GetCurrentThreadId());

    // Sent: the handler's result, from the window thread; a pointer-wide lParam arrives whole.
    LPARAM pointer = reinterpret_cast<LPARAM>(&handler);
    EXPECT_EQ(window.SendMessageW(hwnd, kAnswer, 7, pointer, false), 42);
    EXPECT_EQ(handler.thread, windowThread);
    EXPECT_EQ(handler.lParam, pointer);

    // Posted: 1 at once, while the handler is still busy with it.
    EXPECT_EQ(window.SendMessageW(hwnd, kBlock, 0, 0, true), 1);
    EXPECT_EQ(handler.handled.Wait(0), static_cast<unsigned long>(WAIT_TIMEOUT));
    handler.release.Set();
    EXPECT_EQ(handler.handled.Wait(kWaitMs), WAIT_OBJECT_0);

    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, windowThread);
    ASSERT_NE(thread, nullptr);
    std::wstring className = ClassNameOf(hwnd);
    window.Close();
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_EQ(handler.destroys, 1);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(window.GetHwnd(), nullptr);
    WNDCLASSW info;
    EXPECT_FALSE(GetClassInfoW(GetModuleHandleW(nullptr), className.c_str(), &info));
}

TEST(ThreadWindowTest, ThrowingHandlerShowsOneMessageBoxAndAnswersZero) {
    MessageBoxCapture boxes;
    RecordingHandler handler;
    ThreadWindow window(&handler, true);
    window.Create(L"TestThrow");
    HWND hwnd = window.GetHwnd();
    ASSERT_TRUE(IsWindow(hwnd));
    std::wstring const start =
        L"Unhandled " + std::wstring(ThreadWindow::kClassPrefix) + L"TestThrow exception: \n";
    struct Case {
        UINT message;
        std::wstring text;
    };
    for (Case const& c : {Case{kThrowStd, start + L"handler failed"}, Case{kThrowOther, start}}) {
        SCOPED_TRACE(c.message);
        std::size_t before = boxes.Boxes().size();
        EXPECT_EQ(window.SendMessageW(hwnd, c.message, 0, 0, false), 0);
        auto shown = boxes.Boxes();
        ASSERT_EQ(shown.size(), before + 1);
        EXPECT_EQ(shown.back().text, c.text);
        EXPECT_EQ(shown.back().caption, L"Error");
        EXPECT_EQ(shown.back().type, static_cast<UINT>(MB_ICONERROR));
        EXPECT_EQ(shown.back().owner, hwnd);
    }
    EXPECT_EQ(window.SendMessageW(hwnd, kAnswer, 0, 0, false), 42);  // still serving
}

TEST(ThreadWindowTest, WindowThatOutlivesItsObjectNoLongerReachesIt) {
    // A window on a worker's thread, its object destroyed from here: only the worker could
    // destroy the window, so it stays, and its messages must not reach the dead object.
    RecordingHandler handler;
    SyncEvent created;
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ThreadWindow* window = nullptr;
    HWND hwnd = nullptr;
    WorkerThread owner([&] {
        window = new ThreadWindow(&handler, false);
        window->Create(L"TestOrphan");
        hwnd = window->GetHwnd();
        created.Set();
        while (MsgWaitForMultipleObjects(1, &done, FALSE, 4 * kWaitMs, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&message);
            }
        }
    });
    ASSERT_EQ(created.Wait(kWaitMs), WAIT_OBJECT_0);
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(::SendMessageW(hwnd, kAnswer, 0, 0), 42);
    delete window;
    EXPECT_EQ(handler.destroys, 1);
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(::SendMessageW(hwnd, kAnswer, 0, 0), 0);
    EXPECT_EQ(handler.answers, 1);
    SetEvent(done);
    owner.Join();
    CloseHandle(done);
    EXPECT_FALSE(IsWindow(hwnd));  // went with its thread
}

LRESULT CALLBACK RefuseCreation(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return message == WM_NCCREATE ? FALSE : DefWindowProcW(window, message, wParam, lParam);
}

TEST(ThreadWindowTest, WindowThreadThatMakesNoWindowDoesNotHoldUpCreate) {
    // A class of the window's name is there already, and it refuses every window.
    std::wstring const className = std::wstring(ThreadWindow::kClassPrefix) + L"TestRefused";
    WNDCLASSW refusing = {};
    refusing.style = CS_GLOBALCLASS;
    refusing.lpfnWndProc = &RefuseCreation;
    refusing.hInstance = GetModuleHandleW(nullptr);
    refusing.lpszClassName = className.c_str();
    ASSERT_NE(RegisterClassW(&refusing), 0);

    LogCapture log;
    ThreadWindow window(nullptr, true);
    window.Create(L"TestRefused");
    EXPECT_EQ(window.GetHwnd(), nullptr);
    EXPECT_TRUE(
        log.Contains("CreateThreadWindowEx RegisterClass " + std::to_string(ERROR_CLASS_ALREADY_EXISTS)));
    EXPECT_TRUE(log.Contains("CreateThreadWindowEx CreateWindow "));
    EXPECT_TRUE(log.Contains("Bad IsWindow"));
    window.Close();
    EXPECT_TRUE(log.Contains("Thread TestRefused exit"));
    UnregisterClassW(className.c_str(), GetModuleHandleW(nullptr));
}

}  // namespace
