#pragma once

#include <windows.h>

#include <deque>

#include <boost/function.hpp>

#include "foundation/CriticalSection.h"
#include "foundation/Thread.h"

// The process-wide queue of calls waiting for the main thread (the thread that loaded the
// library). Workers queue calls and announce them with a thread message; the main thread's
// message loop hands that message to Run(), which runs the pending calls in queueing order.
// A poster thread, started with the first queued call, announces pending calls again every
// millisecond, so a lost thread message (a modal loop drops them) delays them only briefly.
// MainScheduler and MainThreadInvoker are the interface to it.
class CrossThreadCallQueue {
public:
    using Call = boost::function<void()>;

    CrossThreadCallQueue();
    // Stops the poster thread.
    ~CrossThreadCallQueue();
    CrossThreadCallQueue(CrossThreadCallQueue const&) = delete;
    CrossThreadCallQueue& operator=(CrossThreadCallQueue const&) = delete;

    // Appends a copy of the call, announces it to the main thread and returns its id at once.
    // Raises SystemError when the poster thread cannot start; nothing is queued then.
    int Queue(Call const& call);
    // Withdraws the pending call with that id; nothing when none has it.
    void Abort(int id);
    // With the cross-thread message: takes all pending calls and runs them, oldest first, on
    // the calling thread. A throwing call's exception leaves here; the calls after it go back
    // to the front of the queue for the next announcement. Ignores any other message.
    void Run(UINT message);

    // "Corvane.CrossThreadCall", registered when the queue was built.
    UINT GetCallMessage() const { return mMessage; }

    // The process-wide queue; valid while the library is loaded.
    static CrossThreadCallQueue& GetInstance() { return *mInstance; }

private:
    struct Pending {
        int id;
        Call call;
    };

    static CrossThreadCallQueue* mInstance;  // the object lives in Core.cpp

    void Announce() const;
    void EnsurePosterRuns();
    bool HasPending();
    void PosterBody();
    void Requeue(std::deque<Pending>& batch);

    UINT mMessage;
    std::deque<Pending> mPending;  // oldest first
    CriticalSection mLock;         // over mPending and mNextId
    int mNextId = 0;
    Thread mPoster;
};
