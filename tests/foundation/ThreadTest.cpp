#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include "LogCapture.h"
#include "WorkerThread.h"
#include "foundation/Thread.h"
#include "foundation/ThreadNameSlot.h"

namespace {

constexpr unsigned long kWaitMs = 5000;

std::atomic<int> gRuns{0};
std::string gRunName;
void CountRun() {
    ++gRuns;
    gRunName = Thread::GetCurrentThreadName();
}

// Tests run on the thread that loaded the library ("main"); threads not started by Thread
// have no name. A never started Thread joins at once and signals nothing.
TEST(ThreadTest, BoundBodyRunsOnANamedThreadAndCanBeRestarted) {
    EXPECT_EQ(Thread::GetMainThreadId(), GetCurrentThreadId());
    EXPECT_EQ(Thread::GetCurrentThreadName(), "main");
    std::string foreign = "?", named;
    WorkerThread([&] {
        foreign = Thread::GetCurrentThreadName();
        Thread::SetCurrentThreadName("Worker");
        named = Thread::GetCurrentThreadName();
        ThreadNameSlot::GetInstance().Clear();
    }).Join();
    EXPECT_EQ(foreign, "");
    EXPECT_EQ(named, "Worker");

    LogCapture log;
    gRuns = 0;
    Thread thread("Quick");
    EXPECT_TRUE(thread.Join(0, false));
    EXPECT_EQ(thread.GetIsStoppedEvent().Wait(0), WAIT_TIMEOUT);
    thread.Bind(&CountRun);
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        thread.ResetStopEvent();
        thread.Start();
        EXPECT_NE(thread.GetId(), 0u);
        thread.SetName("Quick");  // tells a debugger, and must not disturb anybody else
        EXPECT_TRUE(thread.Join(kWaitMs, false));
        EXPECT_EQ(thread.GetIsStoppedEvent().Wait(0), WAIT_OBJECT_0);
        EXPECT_FALSE(thread.IsAlive());
        EXPECT_EQ(thread.GetId(), 0u);
        EXPECT_EQ(gRuns, run);
        EXPECT_EQ(gRunName, "Quick");
    }
    EXPECT_EQ(log.Count("Thread Quick startup took "), 2);
    EXPECT_EQ(log.Count("Thread Quick exit"), 2);
}

std::atomic<int> gExceptionReports{0};
std::string gExceptionText;
void RecordThreadException(std::exception const* error) {
    ++gExceptionReports;
    gExceptionText = error ? error->what() : "<null>";
}

TEST(ThreadTest, EscapingExceptionIsLoggedReportedAndEndsTheThreadNormally) {
    std::string const longText = std::string(80, 'x') + "TAIL";
    struct Case {
        void (*body)();
        std::string reported;
        std::string logged;
    } const cases[] = {
        {[] { throw std::runtime_error(std::string(80, 'x') + "TAIL"); }, longText,
         "Thread exception: " + std::string(80, 'x')},
        {[] { throw 42; }, "<null>", "Unknown thread exception"},
    };
    Thread::OnThreadException.Add(&RecordThreadException);
    for (Case const& c : cases) {
        SCOPED_TRACE(c.logged);
        LogCapture log;
        gExceptionReports = 0;
        Thread thread("Thrower");
        thread.Bind(c.body);
        thread.Start();
        EXPECT_TRUE(thread.Join(kWaitMs, false));
        EXPECT_EQ(thread.GetIsStoppedEvent().Wait(0), WAIT_OBJECT_0);
        EXPECT_EQ(gExceptionReports, 1);
        EXPECT_EQ(gExceptionText, c.reported);
        EXPECT_TRUE(log.Contains(c.logged));
        EXPECT_FALSE(log.Contains("TAIL"));  // the text is cut after 80 characters
        EXPECT_TRUE(log.Contains("Thread Thrower exit"));
    }
    Thread::OnThreadException.Remove(&RecordThreadException);
}

// A body that ignores the stop event: it waits for the test's release instead.
HANDLE gEntered = nullptr;
HANDLE gRelease = nullptr;
void IgnoreStop() {
    SetEvent(gEntered);
    WaitForSingleObject(gRelease, 10 * kWaitMs);
}

TEST(ThreadTest, BodyThatIgnoresTheStopEventIsKilledOnlyWhenAskedTo) {
    gEntered = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    gRelease = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    for (bool joinWithTerminate : {true, false}) {
        SCOPED_TRACE(joinWithTerminate ? "join with terminate" : "destructor");
        LogCapture log;
        HANDLE system = nullptr;
        {
            Thread thread("Stubborn");
            thread.Bind(&IgnoreStop);
            thread.Start();
            system = OpenThread(SYNCHRONIZE, FALSE, thread.GetId());
            ASSERT_NE(system, nullptr);
            ASSERT_EQ(WaitForSingleObject(gEntered, kWaitMs), WAIT_OBJECT_0);
            EXPECT_FALSE(thread.Join(200, false));
            EXPECT_TRUE(thread.IsAlive());
            if (joinWithTerminate) {
                EXPECT_FALSE(thread.Join(200, true));
                EXPECT_FALSE(thread.IsAlive());
                EXPECT_TRUE(thread.Join(0, false));
            }
            // Killed, not ended: the body never returned.
            EXPECT_EQ(thread.GetIsStoppedEvent().Wait(0), WAIT_TIMEOUT);
        }
        EXPECT_EQ(WaitForSingleObject(system, kWaitMs), WAIT_OBJECT_0);
        CloseHandle(system);
        EXPECT_TRUE(log.Contains("Thread Stubborn was terminated"));
        EXPECT_EQ(log.Contains("Thread Stubborn was not properly terminated"), !joinWithTerminate);
        EXPECT_FALSE(log.Contains("Thread Stubborn exit"));
    }
    CloseHandle(gEntered);
    CloseHandle(gRelease);
}

}  // namespace
