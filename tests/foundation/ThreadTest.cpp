#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include "LogCapture.h"
#include "WorkerThread.h"
#include "foundation/Thread.h"

namespace {

constexpr unsigned long kWaitMs = 5000;

std::atomic<int> gRuns{0};
std::string gRunName;
void CountRun() {
    ++gRuns;
    gRunName = Thread::GetCurrentThreadName();
}

// Tests run on the thread that loaded the library ("main"). A never started Thread joins at
// once and signals nothing.
TEST(ThreadTest, BoundBodyRunsOnANamedThreadAndCanBeRestarted) {
    EXPECT_EQ(Thread::GetMainThreadId(), GetCurrentThreadId());
    EXPECT_EQ(Thread::GetCurrentThreadName(), "main");
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

// The text is cut after 80 characters in the log, and reported whole.
TEST(ThreadTest, EscapingExceptionIsLoggedReportedAndEndsTheThreadNormally) {
    LogCapture log;
    Thread::OnThreadException.Add(&RecordThreadException);
    Thread thread("Thrower");
    thread.Bind(+[] { throw std::runtime_error(std::string(80, 'x') + "TAIL"); });
    thread.Start();
    EXPECT_TRUE(thread.Join(kWaitMs, false));
    Thread::OnThreadException.Remove(&RecordThreadException);
    EXPECT_EQ(thread.GetIsStoppedEvent().Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(gExceptionReports, 1);
    EXPECT_EQ(gExceptionText, std::string(80, 'x') + "TAIL");
    EXPECT_TRUE(log.Contains("Thread exception: " + std::string(80, 'x')));
    EXPECT_FALSE(log.Contains("TAIL"));
    EXPECT_TRUE(log.Contains("Thread Thrower exit"));
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
