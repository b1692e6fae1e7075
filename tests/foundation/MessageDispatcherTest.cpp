#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "MessagePump.h"
#include "WorkerThread.h"
#include "foundation/MessageDispatcher.h"

namespace {

constexpr DWORD kWaitMs = 5000;

struct Receiver {
    void OnData(void* data) {
        received.push_back(data);
        threads.push_back(GetCurrentThreadId());
    }
    std::vector<void*> received;
    std::vector<DWORD> threads;
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
