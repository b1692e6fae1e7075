#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "WorkerThread.h"
#include "foundation/Event.h"

namespace {

using Calls = std::vector<std::string>;
Calls gCalls;
Event<int>* gOwnedEvent = nullptr;

void First(int value) {
    gCalls.push_back("first" + std::to_string(value));
}
void Second(int value) {
    gCalls.push_back("second" + std::to_string(value));
}
void Throwing(int) {
    throw std::runtime_error("handler failed");
}
void RemoveSecond(int value) {
    gCalls.push_back("remover" + std::to_string(value));
    gOwnedEvent->Remove(&Second);
}
void DestroyEvent(int value) {
    gCalls.push_back("destroyer" + std::to_string(value));
    delete gOwnedEvent;
    gOwnedEvent = nullptr;
}

struct Recorder {
    std::string name;
    Event<int>* event = nullptr;
    void OnValue(int value) { gCalls.push_back(name + std::to_string(value)); }
    void Nest(int depth) {
        OnValue(depth);
        if (depth == 0) {
            event->Add(&Second);
            (*event)(1);
        }
    }
};

// Removal takes the first match of function and object; an unknown
// handler is only logged. A handler added during a dispatch runs from the next one.
TEST(EventTest, CallsHandlersInOrderAndRemovesTheFirstMatch) {
    gCalls.clear();
    LogCapture log;
    Recorder a{"a"}, b{"b"};
    Event<int> event;
    event.Add(&First);
    event.Add(MakeDelegate<&Recorder::OnValue>(&a));
    event.Add(MakeDelegate<&Recorder::OnValue>(&b));
    event.Add(&First);
    event.Remove(&First);
    event.Remove(MakeDelegate<&Recorder::OnValue>(&a));
    event.Remove(&Second);
    EXPECT_EQ(log.Count("An attempt to remove unknown event handler"), 1);
    event(2);
    EXPECT_EQ(gCalls, (Calls{"b2", "first2"}));
    event.Add(MakeDelegate<&Recorder::Nest>(&a));
    a.event = &event;
    gCalls.clear();
    event(0);
    EXPECT_EQ(gCalls, (Calls{"b0", "first0", "a0", "b1", "first1", "a1", "second1"}));
    EXPECT_EQ(log.Count("Add/Remove inside call"), 1);
    event.Remove(&Second);  // every dispatch has ended
    EXPECT_EQ(log.Count("Add/Remove inside call"), 1);
}

// A handler removed during a dispatch is not called again by it (its object may be gone), a later
// registration stays; an exception ends the dispatch and releases the lock and the inside-call
// mark; a handler may destroy the event, which ends the dispatch too.
TEST(EventTest, HandlersMayRemoveOthersDestroyTheEventOrThrow) {
    gCalls.clear();
    LogCapture log;
    gOwnedEvent = new Event<int>;
    for (void (*handler)(int) : {RemoveSecond, Second, First, Throwing, Second}) {
        gOwnedEvent->Add(handler);
    }
    EXPECT_THROW((*gOwnedEvent)(1), std::runtime_error);
    WorkerThread([] {
        gOwnedEvent->Remove(&Throwing);
        gOwnedEvent->Remove(&RemoveSecond);
        gOwnedEvent->Add(&DestroyEvent);
        gOwnedEvent->Add(&Second);
        (*gOwnedEvent)(2);
    }).Join();
    EXPECT_EQ(gCalls, (Calls{"remover1", "first1", "first2", "second2", "destroyer2"}));
    EXPECT_EQ(log.Count("Add/Remove inside call"), 1);  // RemoveSecond's own
}

}  // namespace
