#include "foundation/Event.h"

#include <algorithm>

#include "foundation/CorvaneLogging.h"

template class EventN<callimpl::EventVoidType>;
template class EventN<callimpl::EventVoidType, callimpl::EventVoidType>;

namespace {
// The innermost dispatch running on this thread; each scope links to the one it interrupted.
thread_local void const* tInnermostDispatch = nullptr;
}  // namespace

base_event::DispatchScope::DispatchScope(base_event const& owner)
    : event(owner), outer(static_cast<DispatchScope const*>(tInnermostDispatch)) {
    event.mLock.Lock();
    tInnermostDispatch = this;
    try {
        snapshot = event.mHandlers;
    } catch (...) {
        tInnermostDispatch = outer;
        event.mLock.Unlock();
        throw;
    }
}

base_event::DispatchScope::~DispatchScope() {
    tInnermostDispatch = outer;
    event.mLock.Unlock();
}

bool base_event::IsInsideCall() const {
    for (auto scope = static_cast<DispatchScope const*>(tInnermostDispatch); scope; scope = scope->outer) {
        if (&scope->event == this) {
            return true;
        }
    }
    return false;
}

void base_event::ReportChangeInsideCall() const {
    if (IsInsideCall()) {
        CORVANE_LOG("Add/Remove inside call");
    }
}

bool base_event::IsEmpty() const {
    CriticalSectionLock lock(mLock);
    return mHandlers.empty();
}

void base_event::Clear() {
    CriticalSectionLock lock(mLock);
    mHandlers.clear();
}

std::vector<DelegateMemento> base_event::Handlers() const {
    CriticalSectionLock lock(mLock);
    return mHandlers;
}

void base_event::AddInternal(DelegateMemento const& delegate) {
    ReportChangeInsideCall();
    CriticalSectionLock lock(mLock);
    mHandlers.push_back(delegate);
}

void base_event::AddInternal(std::vector<DelegateMemento> const& delegates) {
    ReportChangeInsideCall();
    CriticalSectionLock lock(mLock);
    mHandlers.reserve(mHandlers.size() + delegates.size());
    for (DelegateMemento const& delegate : delegates) {
        AddInternal(delegate);
    }
}

void base_event::RemoveInternal(DelegateMemento const& delegate) {
    ReportChangeInsideCall();
    CriticalSectionLock lock(mLock);
    auto found = std::find(mHandlers.begin(), mHandlers.end(), delegate);
    if (found != mHandlers.end()) {
        mHandlers.erase(found);
    } else {
        CORVANE_LOG("An attempt to remove unknown event handler");
    }
}

void base_event::RemoveInternal(std::vector<DelegateMemento> const& delegates) {
    CriticalSectionLock lock(mLock);
    for (DelegateMemento const& delegate : delegates) {
        RemoveInternal(delegate);
    }
}
