#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "capture/FrameBufferOut.h"
#include "capture/IScreenChange.h"
#include "capture/ModeViewer.h"
#include "foundation/CriticalSection.h"
#include "foundation/Delegate.h"
#include "foundation/SyncEvent.h"

// One frame buffer at one colour depth, watched by a DesktopTracker and shared by every
// viewer at that depth: each pass of the tracker thread grabs and compares the marked areas
// once and hands each ready subscriber its change packet, synchronously on that thread. A
// subscriber switches itself off while it sends a change and on again when it has left,
// which asks the tracker for a fresh look. A subscriber that is off when a pass finds a
// change owes those cells (ModeViewer) and gets them from the stored frame when it is on
// again, so a slow viewer holds back no other. Subscribers that take the same packet in one
// pass get the same IScreenChange, one after the other. The first change is a full frame;
// so is the first after the screen size changed, 2000 ms after the change was first seen,
// with no packet in between. Cells a subscriber reports as lacking (sent lossy, or lost) go
// to it again, exact and marked as such, once they have been still for kStillMs and a pass
// has nothing new for it.
class TrackingMode {
public:
    using Handler = Delegate<IScreenChange&>;

    // How long a lacking cell stays unchanged before it is sent again exactly, and how many
    // cells one such packet holds at most (a 512 x 512 area), so that a new change waits for
    // no more than that.
    static constexpr DWORD kStillMs = 300;
    static constexpr int kRefineCells = 256;

    // `screen` is the current screen size; the frame buffer takes it and `bytesPerPixel`.
    // `wake`, when given, is set whenever a subscriber is switched on.
    TrackingMode(int bytesPerPixel, SIZE screen, boost::shared_ptr<SyncEvent> wake = {});
    ~TrackingMode();
    TrackingMode(TrackingMode const&) = delete;
    TrackingMode& operator=(TrackingMode const&) = delete;

    // Adds a subscriber, switched on. One that comes after the mode's start first gets the
    // whole stored frame. Any thread but the tracker's.
    void Add(Handler const& handler);
    // Removes a subscriber; it is not called again, and a call running on another thread is
    // waited for. Any thread; from the subscriber's own call it returns at once. Unknown ones
    // are ignored.
    void Remove(Handler const& handler);

    // Switches a subscriber off (its change is in flight) or on (it has left: the tracker
    // looks at the screen). Any thread. Without a handler: every subscriber, for a mode that
    // has one.
    void SetEnabled(Handler const& handler, bool enabled);
    void SetEnabled(bool enabled);
    // True while any subscriber is on. Any thread.
    bool IsEnabled() const;
    // True once after each switch on: the tracker then marks the screen afresh. Tracker thread.
    bool TakeLookWanted() { return mLookWanted.exchange(false); }
    // Milliseconds the last pass spent finding changes. Tracker thread.
    int GetLastLookMs() const { return mLastLookMs; }

    // From a subscriber, on any thread, before it switches itself on again: it lacks the exact
    // pixels of the change's rectangles (they went lossy, or not at all); they are sent to it
    // again once still.
    void NoteLacking(Handler const& handler, IScreenChange const& change);

    int GetBytesPerPixel() const { return mBytesPerPixel; }
    // The frame buffer's size. Under the tracker's lock.
    SIZE GetFrameSize() const;
    // Passes whose grab and comparison found a change, however many subscribers took it. Any
    // thread.
    unsigned long GetDetectionCount() const { return mDetections; }

    // One pass for the current screen size. Tracker thread, under the tracker's lock. Returns
    // how long the tracker may wait before the next pass (INFINITE: until woken).
    DWORD Process(SIZE screen);
    // Marks the rectangles as possibly changed; nothing in driver mode. Under the tracker's lock.
    void MarkChanged(std::vector<RECT> const& rects);

private:
    using Viewers = std::vector<boost::shared_ptr<ModeViewer>>;

    static constexpr DWORD kResolutionChangeDelayMs = 2000;
    // The mirror driver keeps its own change list, read this often.
    static constexpr DWORD kDriverPollMs = 1;

    boost::shared_ptr<ModeViewer> Find(Handler const& handler) const;
    Viewers Snapshot() const;
    DWORD ProcessViewers();
    bool RaiseFresh(Viewers const& viewers, Viewers& fresh);
    bool RaiseOwed(Viewers owing);
    bool RaiseRefinements(Viewers const& ready, DWORD now);
    DWORD NextRefinementDue(Viewers const& ready, DWORD now);
    void RaiseFullFrame(Viewers const& viewers, SIZE screen);
    void Raise(Viewers const& viewers, void* data, unsigned long size, bool owned, bool exact = false);
    void ResetFrameBuffer(SIZE screen);

    bool mResolutionChangePending = true;
    std::atomic<bool> mLookWanted{true};
    boost::shared_ptr<SyncEvent> mWake;
    int mLastLookMs = 0;
    std::atomic<unsigned long> mDetections{0};
    DWORD mDeadline;
    DWORD mLastCheck;
    int mBytesPerPixel;
    std::unique_ptr<CFrameBufferOut> mFrameBuffer;
    Viewers mViewers;                   // under mListLock
    SIZE mFrameSize = {0, 0};           // under mListLock: the frame buffer's, for new subscribers
    mutable CriticalSection mListLock;  // held briefly: the list only
};
