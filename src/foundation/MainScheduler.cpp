#include "foundation/MainScheduler.h"

#include "foundation/CrossThreadCallQueue.h"
#include "foundation/Thread.h"

bool MainScheduler::IsRequired() {
    return GetCurrentThreadId() != Thread::GetMainThreadId();
}

bool MainScheduler::CallIfRequired(boost::function<void()> const& call, int* id) {
    if (!IsRequired()) {
        return false;
    }
    int queued = CrossThreadCallQueue::GetInstance().Queue(call);
    if (id) {
        *id = queued;
    }
    return true;
}

void MainScheduler::Call(boost::function<void()> const& call, int* id) {
    if (!CallIfRequired(call, id)) {
        call();
    }
}

void MainScheduler::AbortCallback(int id) {
    CrossThreadCallQueue::GetInstance().Abort(id);
}

void HandleSyncMessage(unsigned int message, WPARAM, LPARAM) {
    CrossThreadCallQueue::GetInstance().Run(message);
}
