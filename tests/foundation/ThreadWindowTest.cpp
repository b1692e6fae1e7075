#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include "LogCapture.h"
#include "MessageBoxCapture.h"
#include "ProcessRunner.h"
#include "WorkerThread.h"
#include "foundation/SyncEvent.h"
#include "foundation/ThreadWindow.h"

namespace {

constexpr DWORD kWaitMs = 5000;
constexpr UINT kAnswer = WM_USER + 1;  // answered with 42
constexpr UINT kThrow = WM_USER + 2;

class RecordingHandler : public IWindowMessageHandler {
public:
    int Handle(tagMSG const& message) override {
        switch (message.message) {
            case kAnswer:
                thread = GetCurrentThreadId();
                return 42;
            case kThrow:
                throw std::runtime_error("handler failed");
            case WM_DESTROY:
                ++destroys;
        }
        return 0;
    }

    std::atomic<int> destroys{0};
    std::atomic<DWORD> thread{0};
};

// Sent messages answer with the handler's result, from the window thread. A throwing handler
// shows one message box and answers 0; Close ends the thread and unregisters the class.
TEST(ThreadWindowTest, OwnThreadWindowAnswersOnItsThreadAndCloseEndsIt) {
    MessageBoxCapture boxes;
    RecordingHandler handler;
    ThreadWindow window(&handler, true);
    window.Create(L"TestAnswer");
    HWND hwnd = window.GetHwnd();
    std::wstring const className = std::wstring(ThreadWindow::kClassPrefix) + L"TestAnswer";
    DWORD windowThread = GetWindowThreadProcessId(hwnd, nullptr);
    EXPECT_NE(windowThread, GetCurrentThreadId());

    EXPECT_EQ(window.SendMessageW(hwnd, kAnswer, 0, 0, false), 42);
    EXPECT_EQ(handler.thread, windowThread);

    EXPECT_EQ(window.SendMessageW(hwnd, kThrow, 0, 0, false), 0);
    auto shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, L"Unhandled " + className + L" exception: \nhandler failed");
    EXPECT_EQ(shown[0].owner, hwnd);

    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, windowThread);
    ASSERT_NE(thread, nullptr);
    window.Close();
    EXPECT_EQ(WaitForSingleObject(thread, kWaitMs), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_EQ(handler.destroys, 1);
    WNDCLASSW info;
    EXPECT_FALSE(GetClassInfoW(GetModuleHandleW(nullptr), className.c_str(), &info));
}

// A window on a worker's thread, its object destroyed from here: only the worker could destroy
// the window, so it stays, and its messages must not reach the dead object.
TEST(ThreadWindowTest, WindowThatOutlivesItsObjectNoLongerReachesIt) {
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
    EXPECT_EQ(::SendMessageW(hwnd, kAnswer, 0, 0), 42);
    delete window;
    EXPECT_EQ(handler.destroys, 1);
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(::SendMessageW(hwnd, kAnswer, 0, 0), 0);
    SetEvent(done);
    owner.Join();
    CloseHandle(done);
    EXPECT_FALSE(IsWindow(hwnd));  // went with its thread
}

LRESULT CALLBACK RefuseCreation(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return message == WM_NCCREATE ? FALSE : DefWindowProcW(window, message, wParam, lParam);
}

// A class of the window's name is there already, and it refuses every window.
TEST(ThreadWindowTest, WindowThreadThatMakesNoWindowDoesNotHoldUpCreate) {
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
    EXPECT_TRUE(log.Contains("Bad IsWindow"));
    window.Close();
    EXPECT_TRUE(log.Contains("Thread TestRefused exit"));
    UnregisterClassW(className.c_str(), GetModuleHandleW(nullptr));
}

// The map of windows goes at exit before the library's last objects; a window made after that
// must not reach it, so its messages reach no handler.
TEST(ThreadWindowTest, WindowMadeAfterTheMapWentAtExitDoesNotUseIt) {
    ProcessRunner::Result run = ProcessRunner::Run("foundation_probe.exe", "late-window");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output.substr(0, run.output.find_first_of("\r\n")), "answered 0");
}

}  // namespace
