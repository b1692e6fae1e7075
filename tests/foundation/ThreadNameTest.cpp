#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

#include "foundation/Thread.h"
#include "foundation/ThreadNameSlot.h"

namespace {

TEST(ThreadNameTest, MainStartedAndForeignThreads) {
    // Tests run on the thread that loaded the library.
    EXPECT_EQ(Thread::GetMainThreadId(), GetCurrentThreadId());
    EXPECT_EQ(Thread::GetCurrentThreadName(), "main");

    std::string named, renamed, foreign;
    std::thread worker([&] {
        Thread::SetCurrentThreadName("Worker");
        named = Thread::GetCurrentThreadName();
        Thread::SetCurrentThreadName("Worker2");
        renamed = Thread::GetCurrentThreadName();
        ThreadNameSlot::GetInstance().Clear();
    });
    worker.join();
    std::thread other([&] { foreign = Thread::GetCurrentThreadName(); });
    other.join();

    EXPECT_EQ(named, "Worker");
    EXPECT_EQ(renamed, "Worker2");
    EXPECT_EQ(foreign, "");
    EXPECT_EQ(Thread::GetCurrentThreadName(), "main");
}

}  // namespace
