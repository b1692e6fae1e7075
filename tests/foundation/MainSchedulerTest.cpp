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

namespace {

constexpr DWORD kWaitMs = 5000;

// What the queued calls did; only ever touched on the main thread, where they run.
struct Journal {
    std::vector<std::string> ran;
    std::vector<DWORD> threads;

    boost::function<void()> Entry(std::string const& name) {
        return [this, name] {
            ran.push_back(name);
            threads.push_back(GetCurrentThreadId());
        };
    }
    bool Saw(std::string const& name) const { return std::find(ran.begin(), ran.end(), name) != ran.end(); }
};

// Runs `work` on a worker thread and waits for it.
template <class Work>
void OnWorker(Work const& work) {
    WorkerThread(work).Join();
}

TEST(MainSchedulerTest, OnTheMainThreadCallsRunAtOnce) {
    Journal journal;
    EXPECT_FALSE(MainScheduler::IsRequired());
    int id = -7;
    MainScheduler::Call(journal.Entry("now"), &id);
    EXPECT_EQ(journal.ran, std::vector<std::string>{"now"});
    EXPECT_EQ(id, -7);
    EXPECT_FALSE(MainScheduler::CallIfRequired(journal.Entry("never"), &id));
    EXPECT_EQ(id, -7);

    MainThreadInvoker invoker;
    EXPECT_FALSE(invoker.IsRequired());
    invoker.Call(journal.Entry("invoker"));
    EXPECT_EQ(journal.ran, (std::vector<std::string>{"now", "invoker"}));
}

TEST(MainSchedulerTest, WorkerCallsRunOnTheMainThreadInOrderInOneBatch) {
    Journal journal;
    int ids[3] = {-1, -1, -1};
    bool required = false, ranBeforeReturn = true;
    OnWorker([&] {
        required = MainScheduler::IsRequired();
        // The first call withdraws the third: too late, they were taken together.
        MainScheduler::Call(
            [&] {
                journal.Entry("first")();
                MainScheduler::AbortCallback(ids[2]);
            },
            &ids[0]);
        ranBeforeReturn = !journal.ran.empty();
        EXPECT_TRUE(MainScheduler::CallIfRequired(journal.Entry("second"), &ids[1]));
        MainScheduler::Call(journal.Entry("third"), &ids[2]);
    });
    EXPECT_TRUE(required);
    EXPECT_FALSE(ranBeforeReturn);
    EXPECT_NE(ids[0], ids[1]);
    EXPECT_NE(ids[1], ids[2]);

    HandleSyncMessage(WM_USER + 5, 0, 0);  // not the cross-thread message
    EXPECT_TRUE(journal.ran.empty());

    ASSERT_TRUE(PumpMessagesUntil([&] { return journal.ran.size() == 3; }, kWaitMs));
    EXPECT_EQ(journal.ran, (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_EQ(journal.threads, std::vector<DWORD>(3, GetCurrentThreadId()));
    MainScheduler::AbortCallback(ids[0]);  // ran already: nothing happens
}

TEST(MainSchedulerTest, AbortWithdrawsExactlyItsOwnCalls) {
    Journal journal;
    MainThreadInvoker mine, other;
    int withdrawn = -1;
    OnWorker([&] {
        mine.Call(journal.Entry("mine 1"));
        other.Call(journal.Entry("other"));
        MainScheduler::Call(journal.Entry("withdrawn"), &withdrawn);
        EXPECT_TRUE(mine.CallIfRequired(journal.Entry("mine 2")));
        MainScheduler::Call(journal.Entry("last"));
    });
    mine.AbortAll();
    MainScheduler::AbortCallback(withdrawn);
    {
        MainThreadInvoker dying;
        OnWorker([&] { dying.Call(journal.Entry("dying")); });
    }
    OnWorker([&] { MainScheduler::Call(journal.Entry("end")); });

    ASSERT_TRUE(PumpMessagesUntil([&] { return journal.Saw("end"); }, kWaitMs));
    EXPECT_EQ(journal.ran, (std::vector<std::string>{"other", "last", "end"}));
}

TEST(MainSchedulerTest, ThrowingCallLeavesTheLoopAndTheRestRunLater) {
    Journal journal;
    OnWorker([&] {
        MainScheduler::Call(journal.Entry("before"));
        MainScheduler::Call([] { throw std::runtime_error("call failed"); });
        MainScheduler::Call(journal.Entry("after"));
    });
    bool thrown = false;
    try {
        PumpMessagesUntil([&] { return journal.Saw("after"); }, kWaitMs);
    } catch (std::runtime_error const& error) {
        thrown = std::string(error.what()) == "call failed";
    }
    EXPECT_TRUE(thrown);
    EXPECT_EQ(journal.ran, std::vector<std::string>{"before"});
    // The poster thread announces the rest again.
    ASSERT_TRUE(PumpMessagesUntil([&] { return journal.Saw("after"); }, kWaitMs));
    EXPECT_EQ(journal.ran, (std::vector<std::string>{"before", "after"}));
}

}  // namespace
