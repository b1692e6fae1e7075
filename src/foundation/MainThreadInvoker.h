#pragma once

#include <vector>

#include <boost/function.hpp>

#include "foundation/CriticalSection.h"

// MainScheduler for an owner that may die before its calls have run: it remembers the ids
// of the calls it queued and withdraws the pending ones in AbortAll() and when it goes.
// Any thread may use it.
class MainThreadInvoker {
public:
    MainThreadInvoker() = default;
    ~MainThreadInvoker();
    MainThreadInvoker(MainThreadInvoker const&) = delete;
    MainThreadInvoker& operator=(MainThreadInvoker const&) = delete;

    // True when the calling thread is not the main thread.
    bool IsRequired();
    // As MainScheduler::CallIfRequired, remembering the id of a queued call.
    bool CallIfRequired(boost::function<void()> const& call);
    // On the main thread runs the call at once; elsewhere queues it. Never waits.
    void Call(boost::function<void()> const& call);
    // Withdraws every call of this invoker that has not run yet.
    void AbortAll();

private:
    std::vector<int> mIds;  // in queueing order; ids of calls that ran stay until AbortAll
    CriticalSection mLock;  // over mIds; taken before the queue's lock, never after it
};
