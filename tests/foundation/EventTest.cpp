#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "WorkerThread.h"
#include "foundation/Event.h"
#include "foundation/SyncEvent.h"

namespace {

std::vector<std::string> gCalls;

void First(int value) {
    gCalls.push_back("first" + std::to_string(value));
}
void Second(int value) {
    gCalls.push_back("second" + std::to_string(value));
}
void Throwing(int) {
    throw std::runtime_error("handler failed");
}

struct Recorder {
    std::string name;
    void OnValue(int value) { gCalls.push_back(name + std::to_string(value)); }
};

class EventTest : public ::testing::Test {
protected:
    void SetUp() override { gCalls.clear(); }
};

// Removal takes the first match of function and object; an unknown handler is only logged.
TEST_F(EventTest, CallsHandlersInOrderAndRemovesTheFirstMatch) {
    LogCapture log;
    Recorder a{"a"};
    Recorder b{"b"};
    Event<int> event;
    EXPECT_TRUE(event.IsEmpty());
    event(0);
    event.Add(&First);
    event.Add(MakeDelegate<&Recorder::OnValue>(&a));
    event.Add(MakeDelegate<&Recorder::OnValue>(&b));
    event.Add(&First);
    event(1);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"first1", "a1", "b1", "first1"}));

    gCalls.clear();
    event.Remove(&First);
    event.Remove(MakeDelegate<&Recorder::OnValue>(&a));
    event.Remove(&Second);
    event(2);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"b2", "first2"}));
    EXPECT_EQ(log.Count("An attempt to remove unknown event handler"), 1);

    event.Clear();
    EXPECT_TRUE(event.IsEmpty());
}

TEST_F(EventTest, AddingAndRemovingEventsAsLists) {
    Event<int> source(&First);
    source.Add(&Second);
    Event<int> event;
    event.Add(&Second);
    event.Add(source);
    event(1);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"second1", "first1", "second1"}));

    gCalls.clear();
    event.Remove(source);
    event(2);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"second2"}));
}

// Handlers that change their own event: the running dispatch keeps its snapshot.
struct SelfEditing {
    Event0* event = nullptr;
    int selfRemovingCalls = 0;
    int addedCalls = 0;
    void RemoveSelf() {
        ++selfRemovingCalls;
        event->Remove(MakeDelegate<&SelfEditing::RemoveSelf>(this));
    }
    void AddOther() {
        event->Remove(MakeDelegate<&SelfEditing::AddOther>(this));
        event->Add(MakeDelegate<&SelfEditing::Added>(this));
    }
    void Added() { ++addedCalls; }
};

TEST_F(EventTest, ChangesDuringDispatchShowFromTheNextDispatch) {
    LogCapture log;
    Event0 event;
    SelfEditing editor;
    editor.event = &event;
    event.Add(MakeDelegate<&SelfEditing::RemoveSelf>(&editor));
    event.Add(MakeDelegate<&SelfEditing::RemoveSelf>(&editor));
    event.Add(MakeDelegate<&SelfEditing::AddOther>(&editor));

    event();
    EXPECT_EQ(editor.selfRemovingCalls, 2);
    EXPECT_EQ(editor.addedCalls, 0);

    event();
    EXPECT_EQ(editor.selfRemovingCalls, 2);
    EXPECT_EQ(editor.addedCalls, 1);
    EXPECT_EQ(log.Count("Add/Remove inside call"), 4);
}

// A handler removed during a dispatch is not called again by it (its object may be gone), and
// a handler may destroy the event itself: the dispatch then calls nothing more.
Event<int>* gOwnedEvent = nullptr;
void RemoveSecond(int value) {
    gCalls.push_back("remover" + std::to_string(value));
    gOwnedEvent->Remove(&Second);
}
void DestroyEvent(int value) {
    gCalls.push_back("destroyer" + std::to_string(value));
    delete gOwnedEvent;
    gOwnedEvent = nullptr;
}

TEST_F(EventTest, RemovedHandlersAndADestroyedEventEndTheirCallsAtOnce) {
    gOwnedEvent = new Event<int>;
    gOwnedEvent->Add(&RemoveSecond);
    gOwnedEvent->Add(&Second);
    gOwnedEvent->Add(&First);
    gOwnedEvent->Add(&Second);
    (*gOwnedEvent)(1);
    // The first registration of Second went; the later one still stands.
    EXPECT_EQ(gCalls, (std::vector<std::string>{"remover1", "first1", "second1"}));

    gCalls.clear();
    gOwnedEvent->Clear();
    gOwnedEvent->Add(&First);
    gOwnedEvent->Add(&DestroyEvent);
    gOwnedEvent->Add(&Second);
    Event<int>* event = gOwnedEvent;
    (*event)(2);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"first2", "destroyer2"}));
    EXPECT_EQ(gOwnedEvent, nullptr);
}

TEST_F(EventTest, ExceptionStopsTheDispatchAndLeavesTheEventUsable) {
    Event<int> event;
    event.Add(&First);
    event.Add(&Throwing);
    event.Add(&Second);
    EXPECT_THROW(event(1), std::runtime_error);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"first1"}));

    // The lock was released: another thread can dispatch and change the list.
    WorkerThread other([&] {
        event.Remove(&Throwing);
        event(2);
    });
    other.Join();
    EXPECT_EQ(gCalls, (std::vector<std::string>{"first1", "first2", "second2"}));

    // The inside-call mark was cleared: changing the list now logs nothing.
    LogCapture log;
    event.Add(&First);
    EXPECT_FALSE(log.Contains("Add/Remove inside call"));
}

struct Nesting {
    Event<int>* event = nullptr;
    void OnValue(int depth) {
        gCalls.push_back("outer" + std::to_string(depth));
        if (depth == 0) {
            event->Add(&Second);  // not in the running snapshots
            (*event)(1);
        }
    }
};

TEST_F(EventTest, NestedDispatchRunsOverItsOwnSnapshot) {
    LogCapture log;
    Event<int> event;
    Nesting nesting{&event};
    event.Add(MakeDelegate<&Nesting::OnValue>(&nesting));
    event(0);
    EXPECT_EQ(gCalls, (std::vector<std::string>{"outer0", "outer1", "second1"}));

    // After both dispatches ended, changing the list is not "inside call".
    int before = log.Count("Add/Remove inside call");
    event.Remove(&Second);
    EXPECT_EQ(log.Count("Add/Remove inside call"), before);
}

struct Blocker {
    SyncEvent entered;
    SyncEvent release;
    void Run() {
        entered.Set();
        release.Wait(10000);
    }
    void Nothing() {}
};

TEST_F(EventTest, OtherThreadsWaitForARunningDispatch) {
    Blocker blocker;
    Event0 event;
    event.Add(MakeDelegate<&Blocker::Run>(&blocker));
    WorkerThread dispatcher([&] { event(); });
    ASSERT_EQ(blocker.entered.Wait(5000), WAIT_OBJECT_0);
    SyncEvent added;
    WorkerThread adder([&] {
        event.Add(MakeDelegate<&Blocker::Nothing>(&blocker));  // must wait for the dispatch to end
        added.Set();
    });
    EXPECT_EQ(added.Wait(200), static_cast<DWORD>(WAIT_TIMEOUT));
    blocker.release.Set();
    EXPECT_EQ(added.Wait(5000), WAIT_OBJECT_0);
    dispatcher.Join();
    adder.Join();
}

}  // namespace
