#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
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

int CountMessages(LogCapture const& log, std::string const& message) {
    auto messages = log.Messages();
    return static_cast<int>(std::count(messages.begin(), messages.end(), message));
}

std::string const gLongText = std::string(80, 'x') + "TAIL";
void ThrowStd() {
    throw std::runtime_error(gLongText);
}
void ThrowOther() {
    throw 42;
}

// Tests run on the thread that loaded the library; threads not started by Thread have no name.
TEST(ThreadTest, NamesOfTheMainAndForeignThreads) {
    EXPECT_EQ(Thread::GetMainThreadId(), GetCurrentThreadId());
    EXPECT_EQ(Thread::GetCurrentThreadName(), "main");
    std::string named, foreign;
    WorkerThread([&] {
        Thread::SetCurrentThreadName("Worker");
        named = Thread::GetCurrentThreadName();
        ThreadNameSlot::GetInstance().Clear();
    }).Join();
    WorkerThread([&] { foreign = Thread::GetCurrentThreadName(); }).Join();
    EXPECT_EQ(named, "Worker");
    EXPECT_EQ(foreign, "");
    EXPECT_EQ(Thread::GetCurrentThreadName(), "main");
}

TEST(ThreadTest, BoundBodyRunsOnANamedThreadAndCanBeRestarted) {
    LogCapture log;
    gRuns = 0;
    Thread thread("Quick");
    // Never started: joins at once and signals nothing.
    EXPECT_FALSE(thread.IsAlive());
    EXPECT_TRUE(thread.Join(0, false));
    EXPECT_EQ(thread.GetStopEvent().Wait(0), WAIT_TIMEOUT);
    EXPECT_EQ(thread.GetIsStoppedEvent().Wait(0), WAIT_TIMEOUT);
    EXPECT_EQ(thread.GetId(), 0u);

    thread.Bind(&CountRun);
    thread.Bind(nullptr);  // an empty delegate does nothing
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
    EXPECT_EQ(log.Count("CreateThread Quick took "), 2);
    EXPECT_EQ(log.Count("Thread Quick startup took "), 2);
    EXPECT_EQ(CountMessages(log, "Thread Quick start"), 2);
    EXPECT_EQ(CountMessages(log, "Thread Quick exit"), 2);
}

std::atomic<int> gExceptionReports{0};
std::atomic<DWORD> gExceptionThread{0};
std::string gExceptionText;
bool gExceptionWasNull = false;

void RecordThreadException(std::exception const* error) {
    ++gExceptionReports;
    gExceptionThread = GetCurrentThreadId();
    gExceptionWasNull = error == nullptr;
    gExceptionText = error ? error->what() : "";
}

TEST(ThreadTest, EscapingExceptionIsLoggedReportedAndEndsTheThreadNormally) {
    struct Case {
        void (*body)();
        bool isNull;
        std::string logged;
    };
    Case const cases[] = {
        {&ThrowStd, false, "Thread exception: " + std::string(80, 'x')},
        {&ThrowOther, true, "Unknown thread exception"},
    };
    Thread::OnThreadException.Add(&RecordThreadException);
    for (Case const& c : cases) {
        SCOPED_TRACE(c.logged);
        LogCapture log;
        gExceptionReports = 0;
        Thread thread("Thrower");
        thread.Bind(c.body);
        thread.Start();
        DWORD id = thread.GetId();
        EXPECT_TRUE(thread.Join(kWaitMs, false));
        EXPECT_EQ(thread.GetIsStoppedEvent().Wait(0), WAIT_OBJECT_0);
        EXPECT_EQ(gExceptionReports, 1);
        EXPECT_EQ(gExceptionThread, id);
        EXPECT_EQ(gExceptionWasNull, c.isNull);
        EXPECT_TRUE(log.Contains(c.logged));
        EXPECT_FALSE(log.Contains("TAIL"));  // the text is cut after 80 characters
        EXPECT_TRUE(log.Contains("Thread Thrower exit"));
        EXPECT_EQ(gExceptionText, c.isNull ? "" : gLongText);
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
    enum class Ending { JoinWithTerminate, Destructor };
    for (Ending ending : {Ending::JoinWithTerminate, Ending::Destructor}) {
        SCOPED_TRACE(static_cast<int>(ending));
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
            if (ending == Ending::JoinWithTerminate) {
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
        EXPECT_EQ(log.Contains("Thread Stubborn was not properly terminated"), ending == Ending::Destructor);
        EXPECT_FALSE(log.Contains("Thread Stubborn exit"));
    }
    CloseHandle(gEntered);
    CloseHandle(gRelease);
}

}  // namespace
