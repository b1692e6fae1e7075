#pragma once

#include "CorvaneApi.h"

#include <atomic>
#include <memory>
#include <vector>

#include "foundation/CriticalSection.h"
#include "foundation/Delegate.h"

// The common core of the multicast events: an ordered list of delegates guarded by a
// recursive lock. A dispatch holds the lock across all its handler calls and runs over a
// snapshot of the list, so handlers may add or remove handlers of the same event: an added
// handler is first called by the next dispatch, and a removed one is not called again, not
// even later in the running dispatch. A handler may also destroy the event (its owner): the
// dispatch then calls nothing more. An exception from a handler ends the dispatch and travels
// on to its caller. Events own none of the objects their delegates name.
class CORVANE_API base_event {
public:
    base_event();
    ~base_event();
    base_event(base_event const&) = delete;
    base_event& operator=(base_event const&) = delete;

    bool IsEmpty() const;
    void Clear();
    // True when the list holds `delegate` at least once.
    bool Contains(DelegateMemento const& delegate) const;

protected:
    void AddInternal(DelegateMemento const& delegate);
    void AddInternal(std::vector<DelegateMemento> const& delegates);
    void RemoveInternal(DelegateMemento const& delegate);
    void RemoveInternal(std::vector<DelegateMemento> const& delegates);
    std::vector<DelegateMemento> Handlers() const;

    // Calls invoke(memento) for each delegate of a snapshot that is still registered, under
    // the lock.
    template <class Invoke>
    void Dispatch(Invoke const& invoke) const {
        DispatchScope scope(mState);
        for (Entry const& entry : scope.snapshot) {
            if (scope.IsStillRegistered(entry)) {
                invoke(entry.delegate);
            }
        }
    }

private:
    // One registration: the serial tells two registrations of the same delegate apart.
    struct Entry {
        DelegateMemento delegate;
        unsigned long long serial;
    };
    // Shared with running dispatches, so that it outlives an event destroyed by a handler.
    struct State {
        CriticalSection lock;
        std::vector<Entry> handlers;
        unsigned long long nextSerial = 0;
        unsigned long long removals = 0;
        std::atomic<bool> destroyed{false};
    };
    // Holds the lock and marks this event as being dispatched on the calling thread.
    struct DispatchScope {
        explicit DispatchScope(std::shared_ptr<State> const& state);
        ~DispatchScope();
        bool IsStillRegistered(Entry const& entry) const;

        std::shared_ptr<State> state;
        DispatchScope const* outer;
        std::vector<Entry> snapshot;
        unsigned long long removals;  // the count when the snapshot was taken
    };

    bool IsInsideCall() const;
    void ReportChangeInsideCall() const;

    std::shared_ptr<State> mState;
};

namespace callimpl {
struct EventVoidType {};
}  // namespace callimpl

// A typed event over base_event; Args are the handlers' parameter types.
template <class... Args>
class EventN : public base_event {
public:
    using Handler = Delegate<Args...>;

    EventN() = default;
    explicit EventN(typename Handler::FreeFunction function) { Add(function); }

    void Add(Handler const& handler) { AddInternal(handler.GetMemento()); }
    void Add(EventN const& other) { AddInternal(other.Handlers()); }
    void Remove(Handler const& handler) { RemoveInternal(handler.GetMemento()); }
    void Remove(EventN const& other) { RemoveInternal(other.Handlers()); }

    void operator()(Args... args) const {
        Dispatch([&](DelegateMemento const& delegate) { Handler::FromMemento(delegate)(args...); });
    }
};

using Event0 = EventN<>;
template <class T>
using Event = EventN<T>;
template <class T1, class T2>
using Event2 = EventN<T1, T2>;

// A host of Core.dll instantiates these itself.
#ifndef CORVANE_IMPORTING
extern template class EventN<callimpl::EventVoidType>;
extern template class EventN<callimpl::EventVoidType, callimpl::EventVoidType>;
#endif
