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
    // Adds Second (not in the running snapshot) and dispatches again, once.
    void Nest(int depth) {
        OnValue(depth);
        if (depth == 0) {
            event->Add(&Second);
            (*event)(1);
        }
    }
};

class EventTest : public ::testing::Test {
protected:
    void SetUp() override { gCalls.clear(); }
};

// Removal takes the first match of function and object, one by one or as a list; an unknown
// handler is only logged. A handler added during a dispatch runs from the next one.
TEST_F(EventTest, CallsHandlersInOrderAndRemovesTheFirstMatch) {
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
    Event<int> list(&Second);
    list.Add(&First);
    event.Add(list);
    event(2);
    EXPECT_EQ(gCalls, (Calls{"b2", "first2", "second2", "first2"}));
    event.Remove(list);
    event.Add(MakeDelegate<&Recorder::Nest>(&a));
    a.event = &event;
    gCalls.clear();
    event(0);
    EXPECT_EQ(gCalls, (Calls{"b0", "first0", "a0", "b1", "first1", "a1", "second1"}));
    EXPECT_EQ(log.Count("Add/Remove inside call"), 1);
    event.Remove(&Second);  // every dispatch has ended
    EXPECT_EQ(log.Count("Add/Remove inside call"), 1);
}

// A handler removed during a dispatch is not called again by it (its object may be gone), and
// a handler may destroy the event itself: the dispatch then calls nothing more.
TEST_F(EventTest, RemovedHandlersAndADestroyedEventEndTheirCallsAtOnce) {
    gOwnedEvent = new Event<int>;
    gOwnedEvent->Add(&RemoveSecond);
    gOwnedEvent->Add(&Second);
    gOwnedEvent->Add(&First);
    gOwnedEvent->Add(&Second);
    (*gOwnedEvent)(1);
    // The first registration of Second went; the later one still stands.
    EXPECT_EQ(gCalls, (Calls{"remover1", "first1", "second1"}));

    gCalls.clear();
    gOwnedEvent->Clear();
    gOwnedEvent->Add(&First);
    gOwnedEvent->Add(&DestroyEvent);
    gOwnedEvent->Add(&Second);
    (*gOwnedEvent)(2);
    EXPECT_EQ(gCalls, (Calls{"first2", "destroyer2"}));
}

// The lock and the inside-call mark are released: another thread can dispatch and change the
// list, and a change afterwards logs nothing.
TEST_F(EventTest, ExceptionStopsTheDispatchAndLeavesTheEventUsable) {
    Event<int> event;
    event.Add(&First);
    event.Add(&Throwing);
    event.Add(&Second);
    EXPECT_THROW(event(1), std::runtime_error);
    WorkerThread([&] {
        event.Remove(&Throwing);
        event(2);
    }).Join();
    EXPECT_EQ(gCalls, (Calls{"first1", "first2", "second2"}));
    LogCapture log;
    event.Add(&First);
    EXPECT_FALSE(log.Contains("Add/Remove inside call"));
}

}  // namespace
