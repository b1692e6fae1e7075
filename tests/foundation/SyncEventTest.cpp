#include <gtest/gtest.h>

#include "WorkerThread.h"
#include "foundation/SyncEvent.h"

namespace {

TEST(SyncEventTest, TwoEventWaitTellsWhichFiredAndConsumesOnlyThatOne) {
    SyncEvent first, second;
    EXPECT_EQ(SyncEvent::Wait(first, second, 10), WAIT_TIMEOUT);

    second.Set();
    EXPECT_EQ(SyncEvent::Wait(first, second, 0), 1u);
    EXPECT_EQ(SyncEvent::Wait(first, second, 0), WAIT_TIMEOUT);

    first.Set();
    second.Set();
    EXPECT_EQ(SyncEvent::Wait(first, second, 0), 0u);
    EXPECT_EQ(second.Wait(0), WAIT_OBJECT_0);  // still signalled
    EXPECT_EQ(first.Wait(0), WAIT_TIMEOUT);

    WorkerThread setter([&] { second.Set(); });
    EXPECT_EQ(SyncEvent::Wait(first, second, 5000), 1u);
    setter.Join();
}

}  // namespace
