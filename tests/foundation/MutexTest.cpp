#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "ProcessRunner.h"
#include "foundation/Mutex.h"

namespace {

std::string UniqueName(char const* base) { return std::string(base) + std::to_string(GetCurrentProcessId()); }

std::string ProbeSays(std::string const& name) {
    ProcessRunner::Result result = ProcessRunner::Run("foundation_probe.exe", "mutex " + name);
    EXPECT_TRUE(result.started);
    return result.output.substr(0, result.output.find_first_of("\r\n"));
}

TEST(MutexTest, NameIsTakenUntilUnlockedInThisProcess) {
    std::string name = UniqueName("CorvaneMutexTestA");
    Mutex first;
    EXPECT_FALSE(first.IsLock(name));
    EXPECT_TRUE(first.IsLock(name));  // asked again for the name it holds
    {
        Mutex second;
        EXPECT_TRUE(second.IsLock(name));
    }
    first.Unlock();
    Mutex third;
    EXPECT_FALSE(third.IsLock(name));
}

TEST(MutexTest, AnotherProcessSeesTheNameWhileItIsHeld) {
    std::string name = UniqueName("CorvaneMutexTestB");
    Mutex mine;
    ASSERT_FALSE(mine.IsLock(name));
    EXPECT_EQ(ProbeSays(name), "taken");
    mine.Unlock();
    EXPECT_EQ(ProbeSays(name), "free");

    // Held by the other process: taken for us until it ends.
    std::string ready = UniqueName("CorvaneMutexReady");
    std::string release = UniqueName("CorvaneMutexRelease");
    HANDLE readyEvent = CreateEventA(nullptr, TRUE, FALSE, ready.c_str());
    HANDLE releaseEvent = CreateEventA(nullptr, TRUE, FALSE, release.c_str());
    ProcessRunner::Process holder("foundation_probe.exe", "hold " + name + " " + ready + " " + release);
    ASSERT_TRUE(holder.IsStarted());
    ASSERT_EQ(WaitForSingleObject(readyEvent, 20000), WAIT_OBJECT_0);
    EXPECT_TRUE(mine.IsLock(name));
    mine.Unlock();
    SetEvent(releaseEvent);
    ProcessRunner::Result result;
    EXPECT_TRUE(holder.Wait(20000, result));
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_FALSE(mine.IsLock(name));
    CloseHandle(readyEvent);
    CloseHandle(releaseEvent);
}

}  // namespace
