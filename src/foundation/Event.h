#pragma once

#include <vector>

#include "foundation/CriticalSection.h"
#include "foundation/Delegate.h"

// The common core of the multicast events: an ordered list of delegates guarded by a
// recursive lock. A dispatch holds the lock across all its handler calls and runs over a
// snapshot of the list, so handlers may add or remove handlers of the same event; the
// change shows from the next dispatch. An exception from a handler ends the dispatch and
// travels on to its caller. Events own none of the objects their delegates name.
class base_event {
public:
    base_event() = default;
    ~base_event() = default;
    base_event(base_event const&) = delete;
    base_event& operator=(base_event const&) = delete;

    bool IsEmpty() const;
    void Clear();

protected:
    void AddInternal(DelegateMemento const& delegate);
    void AddInternal(std::vector<DelegateMemento> const& delegates);
    void RemoveInternal(DelegateMemento const& delegate);
    void RemoveInternal(std::vector<DelegateMemento> const& delegates);
    std::vector<DelegateMemento> Handlers() const;

    // Calls invoke(memento) for each delegate of a snapshot, under the lock.
    template <class Invoke>
    void Dispatch(Invoke const& invoke) const {
        DispatchScope scope(*this);
        for (DelegateMemento const& delegate : scope.snapshot) {
            invoke(delegate);
        }
    }

private:
    // Marks this event as being dispatched on the calling thread while the scope lives.
    struct DispatchScope {
        explicit DispatchScope(base_event const& event);
        ~DispatchScope();
        base_event const& event;
        DispatchScope const* outer;
        std::vector<DelegateMemento> snapshot;
    };

    bool IsInsideCall() const;
    void ReportChangeInsideCall() const;

    mutable CriticalSection mLock;
    std::vector<DelegateMemento> mHandlers;
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

extern template class EventN<callimpl::EventVoidType>;
extern template class EventN<callimpl::EventVoidType, callimpl::EventVoidType>;
