#include "foundation/Thread.h"

#include "foundation/ThreadNameSlot.h"

std::string Thread::GetCurrentThreadName() {
    if (GetCurrentThreadId() == mMainThreadId.value) {
        return "main";
    }
    return ThreadNameSlot::GetInstance().Get();
}

void Thread::SetCurrentThreadName(std::string const& name) { ThreadNameSlot::GetInstance().Set(name); }
