#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "capture/FrameBufferOut.h"
#include "capture/IScreenChange.h"
#include "foundation/Event.h"
#include "foundation/PreciseTimer.h"
#include "foundation/SyncEvent.h"

// One frame buffer at one colour depth, watched by a DesktopTracker: each pass of the
// tracker thread takes at most one change packet from it (everything the pass found changed)
// and raises it to the subscribers, synchronously on that thread. The first change is a full
// frame; so is the first after the screen size changed, 2000 ms after the change was first
// seen, with no packet in between. Subscribers switch the mode off while they send a change
// and on again when it has left, which asks the tracker for a fresh look at the screen.
// Cells a subscriber reports as lacking (sent lossy, or lost) go again, exact and marked as
// such, once they have been still for kStillMs and a pass finds nothing new.
class TrackingMode : public Event<IScreenChange&> {
public:
    // How long a lacking cell stays unchanged before it is sent again exactly, and how many
    // cells one such packet holds at most (a 512 x 512 area), so that a new change waits for
    // no more than that.
    static constexpr DWORD kStillMs = 300;
    static constexpr int kRefineCells = 256;

    // `screen` is the current screen size; the frame buffer takes it and `bytesPerPixel`.
    // `wake`, when given, is set whenever the mode is switched on.
    TrackingMode(int bytesPerPixel, SIZE screen, boost::shared_ptr<SyncEvent> wake = {});
    ~TrackingMode();

    // Any thread. While disabled no packet is taken; marked areas accumulate. Switching on
    // wakes the tracker for a look at the screen.
    void SetEnabled(bool enabled);
    bool IsEnabled() const { return mEnabled; }
    // True once after each switch on: the tracker then marks the screen afresh. Tracker thread.
    bool TakeLookWanted() { return mLookWanted.exchange(false); }
    // Milliseconds the last pass spent finding changes. Tracker thread.
    int GetLastLookMs() const { return mLastLookMs; }

    // From a subscriber, while it handles `change`: the viewer lacks the exact pixels of its
    // rectangles (they went lossy, or not at all); they are sent again once still.
    void NoteLacking(IScreenChange const& change);

    int GetBytesPerPixel() const { return mBytesPerPixel; }
    // The frame buffer's size. Under the tracker's lock.
    SIZE GetFrameSize() const;

    // One pass for the current screen size. Tracker thread, under the tracker's lock. Returns
    // how long the tracker may wait before the next pass (INFINITE: until woken).
    DWORD Process(SIZE screen);
    // Marks the rectangles as possibly changed; nothing in driver mode. Under the tracker's lock.
    void MarkChanged(std::vector<RECT> const& rects);

private:
    static constexpr DWORD kResolutionChangeDelayMs = 2000;
    // The mirror driver keeps its own change list, read this often.
    static constexpr DWORD kDriverPollMs = 1;

    DWORD ProcessEnabled();
    bool RaiseNextPacket();
    bool RaiseRefinement(DWORD now);
    void RaiseFullFrame(SIZE screen);
    void Raise(void* data, unsigned long size, bool owned, bool exact = false);
    void ResetFrameBuffer(SIZE screen);

    bool mResolutionChangePending = true;
    std::atomic<bool> mEnabled{true};
    std::atomic<bool> mLookWanted{true};
    boost::shared_ptr<SyncEvent> mWake;
    int mLastLookMs = 0;
    DWORD mDeadline;
    DWORD mLastCheck;
    int mBytesPerPixel;
    std::unique_ptr<CFrameBufferOut> mFrameBuffer;
    PreciseTimer mTimer;
    bool mStarted = false;
};
