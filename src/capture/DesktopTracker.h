#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "capture/TrackingMode.h"
#include "capture/WindowPlaces.h"
#include "foundation/CriticalSection.h"
#include "foundation/Thread.h"

// Turns the screen into a paced stream of changes for the sharing side. It keeps a list of
// tracking modes and runs two threads while it has any: "DesktopTracker", which asks every
// mode for its next change whenever something may have happened, and, without the mirror
// driver, "OwnGrabber", which marks the rectangles of all visible top-level windows ten times
// a second and wakes the tracker. The pace is the screen channel's: when a mode is switched
// on (its last change has left) the tracker marks the windows itself and looks at once, no
// sooner than kMinLookMs after the previous look and with looks taking at most half of a core
// (kLookBudget). The 100 ms marking stays for a still screen, where nothing is in flight to
// pull the next look. Between passes the tracker sleeps on an event, not a poll. The sharing
// sessions of the process share one tracker (Share), so each screen area is grabbed and
// compared once per pass and colour depth however many viewers there are.
class DesktopTracker {
public:
    DesktopTracker();
    // Stops the threads (4000 ms for "DesktopTracker", 2000 ms for "OwnGrabber", killed after).
    // Not from a mode's subscriber: the tracker thread is running it.
    virtual ~DesktopTracker();
    DesktopTracker(DesktopTracker const&) = delete;
    DesktopTracker& operator=(DesktopTracker const&) = delete;

    // The process's tracker, made by the first caller and kept while anyone holds it. Any
    // thread but the tracker's own: the last holder's release stops the threads.
    static boost::shared_ptr<DesktopTracker> Share();

    // The first mode at this depth whose frame is width x height or the screen's size (new
    // modes always take the screen's), else a new one, appended. The first mode starts the
    // threads. Each call counts as one holder of the mode (ReleaseTrackingMode). Called by
    // an owner's thread, not from a mode's subscriber. Raises SystemError when the thread
    // cannot start.
    boost::shared_ptr<TrackingMode> GetTrackingMode(int bytesPerPixel, int width, int height);
    // One holder lets the mode go; the last one's release removes it (RemoveTrackingMode).
    // Owners' threads.
    void ReleaseTrackingMode(boost::shared_ptr<TrackingMode> const& mode);
    // Takes the mode out of the list whoever holds it; the last one stops the threads (as
    // the destructor). From a subscriber the threads are only told to stop. Null or unknown
    // modes are ignored.
    void RemoveTrackingMode(boost::shared_ptr<TrackingMode> const& mode);

    // Any thread. While paused the passes process no mode; the threads keep running.
    void Pause() { mActive = false; }
    void Resume();

    // True while either thread runs.
    bool IsRunning() const;

protected:
    // The size the modes follow: the virtual screen's (the primary screen's when that reads 0
    // wide). Tracker thread and the owner's thread.
    virtual SIZE GetScreenSize() const;
    // Stops the threads; a derived class calls it in its destructor, before its part goes.
    void Stop();

private:
    static constexpr unsigned long kTrackerJoinMs = 4000;
    static constexpr unsigned long kGrabberJoinMs = 2000;
    static constexpr unsigned long kMarkPeriodMs = 100;
    // The shortest time between two looks pulled by the channel, and the share of the time
    // the looks may take (the next look waits for the last one's cost divided by it).
    static constexpr DWORD kMinLookMs = 15;
    static constexpr int kLookBudgetPercent = 50;

    void Start();
    void TrackLoop();
    void GrabLoop();
    DWORD Pass();
    bool LookWanted();
    DWORD ProcessModes(int& lookMs);
    void MarkVisibleWindows();

    Thread mTrackerThread;
    Thread mGrabberThread;
    std::atomic<bool> mActive{true};
    bool mStarted = false;
    std::vector<boost::shared_ptr<TrackingMode>> mModes;
    std::map<TrackingMode const*, int> mHolders;  // under mLifecycle
    WindowPlaces mPlaces;                         // under mLock
    boost::shared_ptr<SyncEvent> mWake;  // set by the modes and the marking; the tracker sleeps on it
    // Tracker thread: a pulled look waiting for the floor, when the last began, and the floor.
    bool mLookPending = false;
    DWORD mLastLook = 0;
    DWORD mLookFloor = kMinLookMs;
    CriticalSection mLock;       // the mode list and every pass over it
    CriticalSection mLifecycle;  // starting and stopping; never taken by the threads
};
