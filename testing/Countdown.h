#pragma once

#include <windows.h>

#include <atomic>

#include "foundation/SyncEvent.h"

// Counts arrivals on any thread and signals when the expected number is reached.
class Countdown {
public:
    void Expect(int count) {
        mArrived = 0;
        mExpected = count;
    }
    void Arrive() {
        if (++mArrived == mExpected) {
            mDone.Set();
        }
    }
    bool Wait(unsigned timeoutMs) { return mDone.Wait(timeoutMs) == WAIT_OBJECT_0; }

private:
    std::atomic<int> mArrived{0};
    std::atomic<int> mExpected{0};
    SyncEvent mDone;
};
