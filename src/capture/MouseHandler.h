#pragma once

#include <windows.h>

#include "foundation/Event.h"
#include "foundation/Thread.h"

// Polls the cursor every 50 ms on the thread "MouseHandler" and raises the event, on that
// thread, with each position that differs from the one before (screen coordinates).
class MouseHandler : public Event<POINT const&> {
public:
    MouseHandler();
    // As ClearHook.
    ~MouseHandler();
    MouseHandler(MouseHandler const&) = delete;
    MouseHandler& operator=(MouseHandler const&) = delete;

    // Starts polling; nothing while the thread runs. Owner's thread. Raises SystemError when
    // the thread cannot start.
    void SetHook();
    // Stops polling: joins the thread for up to 2000 ms and kills it after. Owner's thread,
    // not from a subscriber.
    void ClearHook();

private:
    static constexpr unsigned long kPollMs = 50;
    static constexpr unsigned long kJoinMs = 2000;

    void OnMouseMove();

    Thread mThread;
    POINT mLast = {0, 0};
};
