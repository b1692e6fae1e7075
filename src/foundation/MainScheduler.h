#pragma once

#include <windows.h>

#include <boost/function.hpp>

// Calls for the host's main thread (the thread that loaded the library). A call queued from
// another thread runs when the main thread's message loop passes the library's cross-thread
// message to HandleSyncMessage; nobody waits for it. Any thread may call these.
class MainScheduler {
public:
    // True when the calling thread is not the main thread.
    static bool IsRequired();
    // On the main thread: false, and nothing else happens (the caller does the work itself).
    // Elsewhere: queues a copy of the call, stores its id through `id` when that is not
    // null, and returns true.
    static bool CallIfRequired(boost::function<void()> const& call, int* id = nullptr);
    // On the main thread: runs the call before returning and stores no id. Elsewhere: queues
    // it like CallIfRequired and returns at once.
    static void Call(boost::function<void()> const& call, int* id = nullptr);
    // Withdraws the pending call with that id; nothing when it has run already or never was.
    static void AbortCallback(int id);
};

// The host calls this on its main thread for each message of its message loop. The
// cross-thread message runs every pending call, oldest first; a call's exception leaves
// here (the calls after it stay queued). Every other message is ignored.
void HandleSyncMessage(unsigned int message, WPARAM wParam, LPARAM lParam);
