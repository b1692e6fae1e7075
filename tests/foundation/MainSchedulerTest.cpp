#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "MessagePump.h"
#include "WorkerThread.h"
#include "foundation/MainScheduler.h"
#include "foundation/MainThreadInvoker.h"
#include "foundation/MessageDispatcher.h"

namespace {

constexpr DWORD kWaitMs = 5000;
using Names = std::vector<std::string>;

// What the queued calls did; only ever touched on the main thread, where they run.
struct Journal {
    Names ran;
    std::vector<DWORD> threads;

    boost::function<void()> Entry(std::string const& name) {
        return [this, name] {
            ran.push_back(name);
            threads.push_back(GetCurrentThreadId());
        };
    }
    bool Saw(std::string const& name) const { return std::find(ran.begin(), ran.end(), name) != ran.end(); }
};

// On the main thread a call runs at once; from a worker it waits for the main thread's loop,
// and the calls then run in order, taken together in one batch.
TEST(MainSchedulerTest, WorkerCallsRunOnTheMainThreadInOrderInOneBatch) {
    Journal journal;
    int id = -7;
    EXPECT_FALSE(MainScheduler::IsRequired());
    MainScheduler::Call(journal.Entry("now"), &id);
    EXPECT_FALSE(MainScheduler::CallIfRequired(journal.Entry("never"), &id));
    EXPECT_EQ(id, -7);
    EXPECT_EQ(journal.ran, Names{"now"});

    int ids[3] = {-1, -1, -1};
    bool required = false, ranBeforeReturn = true;
    WorkerThread([&] {
        required = MainScheduler::IsRequired();
        // The first call withdraws the third: too late, they were taken together.
        MainScheduler::Call(
            [&] {
                journal.Entry("first")();
                MainScheduler::AbortCallback(ids[2]);
            },
            &ids[0]);
        ranBeforeReturn = journal.ran.size() > 1;
        EXPECT_TRUE(MainScheduler::CallIfRequired(journal.Entry("second"), &ids[1]));
        MainScheduler::Call(journal.Entry("third"), &ids[2]);
    }).Join();
    EXPECT_TRUE(required);
    EXPECT_FALSE(ranBeforeReturn);
    EXPECT_NE(ids[0], ids[1]);
    EXPECT_NE(ids[1], ids[2]);
    ASSERT_TRUE(PumpMessagesUntil([&] { return journal.ran.size() == 4; }, kWaitMs));
    EXPECT_EQ(journal.ran, (Names{"now", "first", "second", "third"}));
    EXPECT_EQ(journal.threads, std::vector<DWORD>(4, GetCurrentThreadId()));
}

TEST(MainSchedulerTest, AbortWithdrawsExactlyItsOwnCalls) {
    Journal journal;
    MainThreadInvoker mine, other;
    int withdrawn = -1;
    WorkerThread([&] {
        mine.Call(journal.Entry("mine 1"));
        other.Call(journal.Entry("other"));
        MainScheduler::Call(journal.Entry("withdrawn"), &withdrawn);
        EXPECT_TRUE(mine.CallIfRequired(journal.Entry("mine 2")));
        MainScheduler::Call(journal.Entry("last"));
    }).Join();
    mine.AbortAll();
    MainScheduler::AbortCallback(withdrawn);
    {
        MainThreadInvoker dying;
        WorkerThread([&] { dying.Call(journal.Entry("dying")); }).Join();
    }
    WorkerThread([&] { MainScheduler::Call(journal.Entry("end")); }).Join();
    ASSERT_TRUE(PumpMessagesUntil([&] { return journal.Saw("end"); }, kWaitMs));
    EXPECT_EQ(journal.ran, (Names{"other", "last", "end"}));
}

TEST(MainSchedulerTest, ThrowingCallLeavesTheLoopAndTheRestRunLater) {
    Journal journal;
    WorkerThread([&] {
        MainScheduler::Call(journal.Entry("before"));
        MainScheduler::Call([] { throw std::runtime_error("call failed"); });
        MainScheduler::Call(journal.Entry("after"));
    }).Join();
    EXPECT_THROW(PumpMessagesUntil([&] { return journal.Saw("after"); }, kWaitMs), std::runtime_error);
    EXPECT_EQ(journal.ran, Names{"before"});
    // The poster thread announces the rest again.
    ASSERT_TRUE(PumpMessagesUntil([&] { return journal.Saw("after"); }, kWaitMs));
}

struct Receiver {
    std::vector<void*> received;
    std::vector<DWORD> threads;
    void OnData(void* data) {
        received.push_back(data);
        threads.push_back(GetCurrentThreadId());
    }
};

TEST(MessageDispatcherTest, PostedPointerBecomesAnEventOnTheCreatingThread) {
    Receiver first, second;
    int a = 0, b = 0, c = 0;
    {
        MessageDispatcher one, two;
        one.OnDispatch.Add(MakeDelegate<&Receiver::OnData>(&first));
        two.OnDispatch.Add(MakeDelegate<&Receiver::OnData>(&second));
        WorkerThread([&] {
            one.Dispatch(&a);
            two.Dispatch(&b);
            one.Dispatch(&c);
        }).Join();
        EXPECT_TRUE(first.received.empty());  // nothing before the loop runs
        ASSERT_TRUE(PumpMessagesUntil([&] { return first.received.size() == 2 && !second.received.empty(); },
                                      kWaitMs));
    }
    EXPECT_EQ(first.received, (std::vector<void*>{&a, &c}));
    EXPECT_EQ(second.received, std::vector<void*>{&b});
    EXPECT_EQ(first.threads, std::vector<DWORD>(2, GetCurrentThreadId()));
    // Destroying a dispatcher must not end the message loop of the thread that built it.
    MSG quit;
    EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

}  // namespace
