#pragma once

#include <windows.h>

#include <atomic>
#include <vector>

#include "capture/ChangeGrid.h"
#include "capture/IScreenChange.h"
#include "foundation/CriticalSection.h"
#include "foundation/Delegate.h"
#include "foundation/PreciseTimer.h"

// One subscriber of a TrackingMode: its handler, its pace and what it still lacks. The mode
// grabs and compares once for all of them; a viewer that is not ready when a pass finds a
// change owes those cells and is later given them from the mode's stored frame, so that no
// viewer waits for another. It also keeps the cells it lacks exactly (sent lossy, or lost)
// for its own refinement. Both sets live in one grid in which every marked cell counts as
// changed.
class ModeViewer : private ICellComparer {
public:
    using Handler = Delegate<IScreenChange&>;

    // `area` is the mode's frame. A viewer that comes to a running mode owes it all: its
    // first packet is the whole stored frame. Owner's thread.
    ModeViewer(Handler const& handler, RECT const& area);
    ModeViewer(ModeViewer const&) = delete;
    ModeViewer& operator=(ModeViewer const&) = delete;

    // Any thread: it never changes.
    Handler const& GetHandler() const { return mHandler; }

    // Ready: its last change has left, so it takes the next. Any thread.
    bool IsReady() const { return mReady; }
    void SetReady(bool ready) { mReady = ready; }

    // Hands `change` to the handler with this viewer's timing, unless it was detached; a
    // handler's exception travels on. Tracker thread.
    void Call(IScreenChange& change);
    // No call after this returns: waits for a running one on another thread; from the
    // handler's own call it returns at once. Any thread.
    void Detach();

    // The rectangles of `packet` went out without this viewer. Tracker thread.
    void Owe(void const* packet, unsigned long size, int bytesPerPixel);
    // Nothing owed, nor a whole frame. Tracker thread.
    bool OwesNothing() { return mCells.IsClean(); }
    // What it owes, comparable between viewers: equal states give equal packets. Tracker thread.
    std::vector<unsigned char> OwedState() { return mCells.DirtyState(); }
    // The owed cells as rectangles inside the frame, top first; owes nothing after. Tracker thread.
    std::vector<RECT> TakeOwed();
    // Owes and lacks nothing: it is given a whole frame (the frame's size, or the mode's
    // start). Tracker thread; `area` is the frame from now on.
    void Settle(RECT const& area);

    // Lacking cells, as ChangeGrid's. The tracker thread or the subscriber during its call.
    ChangeGrid& Cells() { return mCells; }

    // The rectangles of `packet` went lossy or not at all: they lack since `since`. Any thread
    // (a subscriber may send on its own): kept aside until ApplyNotes.
    void NoteLacking(void const* packet, unsigned long size, int bytesPerPixel, DWORD since);
    // Marks the lacking cells noted so far in the grid. Tracker thread.
    void ApplyNotes();

private:
    bool HasCellChanged(int, int, RECT const&) override { return true; }
    template <class Mark>
    static void ForEachRect(void const* packet, unsigned long size, int bytesPerPixel, Mark const& mark);

    Handler mHandler;
    std::atomic<bool> mReady{true};
    bool mDetached = false;  // under mCallLock
    CriticalSection mCallLock;
    ChangeGrid mCells;
    PreciseTimer mTimer;
    bool mStarted = false;
    struct Note {
        RECT rect;
        DWORD since;
    };
    std::vector<Note> mNotes;  // under mNotesLock
    CriticalSection mNotesLock;
};
