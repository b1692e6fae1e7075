#pragma once

#include "foundation/WinTypes.h"

// An unnamed auto-reset kernel event, initially not signalled: a wait that sees the signal
// consumes it. Set() and the waits may be called from any thread.
class SyncEvent {
public:
    // Raises SystemError "Failed to create sync event" when the system gives no event.
    SyncEvent();
    ~SyncEvent();
    SyncEvent(SyncEvent const&) = delete;
    SyncEvent& operator=(SyncEvent const&) = delete;

    // WAIT_OBJECT_0 (0) when signalled within `timeout` ms, else the system's wait result
    // (WAIT_TIMEOUT, WAIT_FAILED).
    unsigned long Wait(unsigned long timeout) const;
    // 0 when `first` was signalled, 1 when `second` was, else the system's time-out or failure
    // code. Only the event that ended the wait is consumed; `first` wins when both are set.
    static unsigned long Wait(SyncEvent const& first, SyncEvent const& second, unsigned long timeout);

    void Set();
    void Reset();

private:
    HANDLE mEvent;  // owned
};
