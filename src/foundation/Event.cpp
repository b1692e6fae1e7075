#include "foundation/Event.h"

#include <algorithm>

#include "foundation/CorvaneLogging.h"

template class EventN<callimpl::EventVoidType>;
template class EventN<callimpl::EventVoidType, callimpl::EventVoidType>;

namespace {
// The innermost dispatch running on this thread; each scope links to the one it interrupted.
thread_local void const* tInnermostDispatch = nullptr;
}  // namespace

base_event::base_event() : mState(std::make_shared<State>()) {}

// Not under the lock: a killed thread may have left it taken (a Thread's body is a dispatch).
base_event::~base_event() {
    mState->destroyed = true;
}

base_event::DispatchScope::DispatchScope(std::shared_ptr<State> const& owner)
    : state(owner), outer(static_cast<DispatchScope const*>(tInnermostDispatch)) {
    state->lock.Lock();
    tInnermostDispatch = this;
    try {
        snapshot = state->handlers;
    } catch (...) {
        tInnermostDispatch = outer;
        state->lock.Unlock();
        throw;
    }
    removals = state->removals;
}

base_event::DispatchScope::~DispatchScope() {
    tInnermostDispatch = outer;
    state->lock.Unlock();
}

bool base_event::DispatchScope::IsStillRegistered(Entry const& entry) const {
    if (state->destroyed) {
        return false;
    }
    if (state->removals == removals) {
        return true;  // nothing was removed since the snapshot
    }
    return std::any_of(state->handlers.begin(), state->handlers.end(),
                       [&](Entry const& handler) { return handler.serial == entry.serial; });
}

bool base_event::IsInsideCall() const {
    for (auto scope = static_cast<DispatchScope const*>(tInnermostDispatch); scope; scope = scope->outer) {
        if (scope->state == mState) {
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
    CriticalSectionLock lock(mState->lock);
    return mState->handlers.empty();
}

void base_event::Clear() {
    CriticalSectionLock lock(mState->lock);
    mState->removals += mState->handlers.size();
    mState->handlers.clear();
}

bool base_event::Contains(DelegateMemento const& delegate) const {
    CriticalSectionLock lock(mState->lock);
    return std::any_of(mState->handlers.begin(), mState->handlers.end(),
                       [&](Entry const& handler) { return handler.delegate == delegate; });
}

std::vector<DelegateMemento> base_event::Handlers() const {
    CriticalSectionLock lock(mState->lock);
    std::vector<DelegateMemento> delegates;
    delegates.reserve(mState->handlers.size());
    for (Entry const& handler : mState->handlers) {
        delegates.push_back(handler.delegate);
    }
    return delegates;
}

void base_event::AddInternal(DelegateMemento const& delegate) {
    ReportChangeInsideCall();
    CriticalSectionLock lock(mState->lock);
    mState->handlers.push_back({delegate, mState->nextSerial++});
}

void base_event::AddInternal(std::vector<DelegateMemento> const& delegates) {
    ReportChangeInsideCall();
    CriticalSectionLock lock(mState->lock);
    mState->handlers.reserve(mState->handlers.size() + delegates.size());
    for (DelegateMemento const& delegate : delegates) {
        AddInternal(delegate);
    }
}

void base_event::RemoveInternal(DelegateMemento const& delegate) {
    ReportChangeInsideCall();
    CriticalSectionLock lock(mState->lock);
    std::vector<Entry>& handlers = mState->handlers;
    auto found = std::find_if(handlers.begin(), handlers.end(),
                              [&](Entry const& handler) { return handler.delegate == delegate; });
    if (found != handlers.end()) {
        handlers.erase(found);
        ++mState->removals;
    } else {
        CORVANE_LOG("An attempt to remove unknown event handler");
    }
}

void base_event::RemoveInternal(std::vector<DelegateMemento> const& delegates) {
    CriticalSectionLock lock(mState->lock);
    for (DelegateMemento const& delegate : delegates) {
        RemoveInternal(delegate);
    }
}
