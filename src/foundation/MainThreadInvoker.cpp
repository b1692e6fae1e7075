#include "foundation/MainThreadInvoker.h"

#include "foundation/MainScheduler.h"

MainThreadInvoker::~MainThreadInvoker() {
    AbortAll();
}

bool MainThreadInvoker::IsRequired() {
    return MainScheduler::IsRequired();
}

bool MainThreadInvoker::CallIfRequired(boost::function<void()> const& call) {
    // Held across the queueing, so a concurrent AbortAll cannot miss a call that is on its way.
    CriticalSectionLock lock(mLock);
    int id = 0;
    if (!MainScheduler::CallIfRequired(call, &id)) {
        return false;
    }
    mIds.push_back(id);
    return true;
}

void MainThreadInvoker::Call(boost::function<void()> const& call) {
    if (!CallIfRequired(call)) {
        call();
    }
}

void MainThreadInvoker::AbortAll() {
    CriticalSectionLock lock(mLock);
    for (int id : mIds) {
        MainScheduler::AbortCallback(id);
    }
    mIds.clear();
}
