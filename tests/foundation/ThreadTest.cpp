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

std::atomic<int> gExceptionReports{0};
std::string gExceptionText;
void RecordThreadException(std::exception const* error) {
    ++gExceptionReports;
    gExceptionText = error ? error->what() : "<null>";
}

// Tests run on the thread that loaded the library ("main"). A never started Thread joins at
// once and signals nothing. An escaping exception is logged cut after 80 characters, reported
// whole, and ends the thread normally.
TEST(ThreadTest, BoundBodyRunsOnANamedThreadAndCanBeRestarted) {
    EXPECT_EQ(Thread::GetMainThreadId(), GetCurrentThreadId());
    EXPECT_EQ(Thread::GetCurrentThreadName(), "main");
    LogCapture log;
    gRuns = 0;
    Thread thread("Quick");
    EXPECT_TRUE(thread.Join(0, false));
    EXPECT_EQ(thread.GetIsStoppedEvent().Wait(0), WAIT_TIMEOUT);
    thread.Bind(&CountRun);
    Thread::OnThreadException.Add(&RecordThreadException);
    for (int run = 1; run <= 3; ++run) {
        SCOPED_TRACE(run);
        if (run == 3) {
            thread.Bind(+[] { throw std::runtime_error(std::string(80, 'x') + "TAIL"); });
        }
        thread.ResetStopEvent();
        thread.Start();
        EXPECT_NE(thread.GetId(), 0u);
        thread.SetName("Quick");  // tells a debugger, and must not disturb anybody else
        EXPECT_TRUE(thread.Join(kWaitMs, false));
        EXPECT_EQ(thread.GetIsStoppedEvent().Wait(0), WAIT_OBJECT_0);
        EXPECT_FALSE(thread.IsAlive());
        EXPECT_EQ(thread.GetId(), 0u);
        EXPECT_EQ(gRuns, run);  // bodies bound add up
        EXPECT_EQ(gRunName, "Quick");
    }
    Thread::OnThreadException.Remove(&RecordThreadException);
    EXPECT_EQ(log.Count("Thread Quick startup took "), 3);
    EXPECT_EQ(log.Count("Thread Quick exit"), 3);
    EXPECT_EQ(gExceptionReports, 1);
    EXPECT_EQ(gExceptionText, std::string(80, 'x') + "TAIL");
    EXPECT_TRUE(log.Contains("Thread exception: " + std::string(80, 'x')));
    EXPECT_FALSE(log.Contains("TAIL"));
}

// A body that ignores the stop event.
HANDLE gEntered = nullptr;
void IgnoreStop() {
    SetEvent(gEntered);
    Sleep(10 * kWaitMs);  // killed long before
}

TEST(ThreadTest, BodyThatIgnoresTheStopEventIsKilledOnlyWhenAskedTo) {
    gEntered = CreateEventW(nullptr, FALSE, FALSE, nullptr);
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
}

}  // namespace
