#include "foundation/CrossThreadCallQueue.h"

#include <algorithm>

namespace {
constexpr unsigned long kAnnounceIntervalMs = 1;
constexpr unsigned long kPosterJoinMs = 1000;
}  // namespace

CrossThreadCallQueue::CrossThreadCallQueue()
    : mMessage(RegisterWindowMessageW(L"Corvane.CrossThreadCall")), mPoster("MainThreadCallerPost") {
    mPoster.Bind(MakeDelegate<&CrossThreadCallQueue::PosterBody>(this));
}

CrossThreadCallQueue::~CrossThreadCallQueue() {
    mPoster.Join(kPosterJoinMs, false);
    if (mInstance == this) {
        mInstance = nullptr;
    }
}

int CrossThreadCallQueue::Queue(Call const& call) {
    int id;
    {
        CriticalSectionLock lock(mLock);
        // Started before the call is added, so a failure leaves nothing behind that could run.
        EnsurePosterRuns();
        id = mNextId;
        mNextId = static_cast<int>(static_cast<unsigned>(mNextId) + 1u);  // wraps, never overflows
        mPending.push_back(Pending{id, call});
    }
    Announce();
    return id;
}

void CrossThreadCallQueue::Abort(int id) {
    CriticalSectionLock lock(mLock);
    auto found =
        std::find_if(mPending.begin(), mPending.end(), [id](Pending const& p) { return p.id == id; });
    if (found != mPending.end()) {
        mPending.erase(found);
    }
}

void CrossThreadCallQueue::Run(UINT message) {
    if (message != mMessage) {
        return;
    }
    std::deque<Pending> batch;
    {
        CriticalSectionLock lock(mLock);
        batch.swap(mPending);
    }
    while (!batch.empty()) {
        Call call;
        call.swap(batch.front().call);
        batch.pop_front();
        try {
            call();
        } catch (...) {
            Requeue(batch);
            throw;
        }
    }
}

void CrossThreadCallQueue::Requeue(std::deque<Pending>& batch) {
    CriticalSectionLock lock(mLock);
    mPending.insert(mPending.begin(), batch.begin(), batch.end());
}

void CrossThreadCallQueue::Announce() const {
    PostThreadMessageW(Thread::GetMainThreadId(), mMessage, 0, 0);
}

void CrossThreadCallQueue::EnsurePosterRuns() {
    if (!mPoster.IsAlive()) {
        mPoster.Start();
        mPoster.SetPriority(THREAD_PRIORITY_BELOW_NORMAL);
    }
}

bool CrossThreadCallQueue::HasPending() {
    CriticalSectionLock lock(mLock);
    return !mPending.empty();
}

void CrossThreadCallQueue::PosterBody() {
    while (mPoster.GetStopEvent().Wait(kAnnounceIntervalMs) != WAIT_OBJECT_0) {
        if (HasPending()) {
            Announce();
        }
    }
}
