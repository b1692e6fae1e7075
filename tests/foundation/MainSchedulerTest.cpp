#include <gtest/gtest.h>

#include <windows.h>

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

// What the queued calls did, marked when one ran off the main thread (where the journal is made).
struct Journal {
    Names ran;
    DWORD const home = GetCurrentThreadId();
    boost::function<void()> Entry(std::string const& name) {
        return [this, name] { ran.push_back(GetCurrentThreadId() == home ? name : name + " elsewhere"); };
    }
};

// On the main thread a call runs at once; from a worker it waits for the main thread's loop,
// and the calls then run there in order, taken together in one batch. Aborting withdraws
// exactly its own calls; a throwing call leaves the loop, and the rest run later.
TEST(MainSchedulerTest, WorkerCallsRunOnTheMainThreadInOrderUnlessWithdrawn) {
    Journal journal;
    int id = -7;
    EXPECT_FALSE(MainScheduler::IsRequired());
    MainScheduler::Call(journal.Entry("now"), &id);
    EXPECT_FALSE(MainScheduler::CallIfRequired(journal.Entry("never"), &id));
    EXPECT_EQ(id, -7);
    EXPECT_EQ(journal.ran, Names{"now"});

    MainThreadInvoker mine, other;
    int ids[3] = {-1, -1, -1}, withdrawn = -1;
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
        mine.Call(journal.Entry("mine 1"));
        other.Call(journal.Entry("other"));
        MainScheduler::Call(journal.Entry("withdrawn"), &withdrawn);
        EXPECT_TRUE(mine.CallIfRequired(journal.Entry("mine 2")));
        MainScheduler::Call([] { throw std::runtime_error("call failed"); });
        MainScheduler::Call(journal.Entry("last"));
    }).Join();
    EXPECT_TRUE(required);
    EXPECT_FALSE(ranBeforeReturn);
    EXPECT_TRUE(ids[0] != ids[1] && ids[1] != ids[2]);
    mine.AbortAll();
    MainScheduler::AbortCallback(withdrawn);
    {
        MainThreadInvoker dying;
        WorkerThread([&] { dying.Call(journal.Entry("dying")); }).Join();
    }
    EXPECT_THROW(PumpMessagesUntil([&] { return journal.ran.size() == 6; }, kWaitMs), std::runtime_error);
    EXPECT_EQ(journal.ran, (Names{"now", "first", "second", "third", "other"}));
    ASSERT_TRUE(PumpMessagesUntil([&] { return journal.ran.size() == 6; }, kWaitMs));
    EXPECT_EQ(journal.ran, (Names{"now", "first", "second", "third", "other", "last"}));
}

using Received = std::vector<std::pair<void*, DWORD>>;
struct Receiver {
    Received received;
    void OnData(void* data) { received.emplace_back(data, GetCurrentThreadId()); }
};

// Each dispatcher's posts reach only its own handlers.
TEST(MessageDispatcherTest, PostedPointerBecomesAnEventOnTheCreatingThread) {
    Receiver first, second;
    int a = 0, b = 0;
    {
        MessageDispatcher one, two;
        one.OnDispatch.Add(MakeDelegate<&Receiver::OnData>(&first));
        two.OnDispatch.Add(MakeDelegate<&Receiver::OnData>(&second));
        WorkerThread([&] {
            one.Dispatch(&a);
            two.Dispatch(&b);
            one.Dispatch(&b);
        }).Join();
        EXPECT_TRUE(first.received.empty());  // nothing before the loop runs
        ASSERT_TRUE(PumpMessagesUntil([&] { return first.received.size() == 2 && !second.received.empty(); },
                                      kWaitMs));
    }
    DWORD const self = GetCurrentThreadId();
    EXPECT_EQ(first.received, (Received{{&a, self}, {&b, self}}));
    EXPECT_EQ(second.received, (Received{{&b, self}}));
    // Destroying a dispatcher must not end the message loop of the thread that built it.
    MSG quit;
    EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

}  // namespace
