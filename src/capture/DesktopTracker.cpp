#include "capture/DesktopTracker.h"

#include <algorithm>
#include <exception>
#include <utility>

#include <boost/weak_ptr.hpp>

#include "foundation/CorvaneLogging.h"
#include "foundation/DesktopUtil.h"
#include "foundation/PreciseTimer.h"

namespace {

BOOL CALLBACK CollectVisibleWindow(HWND window, LPARAM parameter) {
    RECT rect;
    if ((GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) && GetWindowRect(window, &rect)) {
        reinterpret_cast<std::vector<RECT>*>(parameter)->push_back(rect);
    }
    return TRUE;
}

}  // namespace

DesktopTracker::DesktopTracker()
    : mTrackerThread("DesktopTracker"), mGrabberThread("OwnGrabber"), mWake(new SyncEvent) {
    mTrackerThread.Bind(Delegate0::Bind<&DesktopTracker::TrackLoop>(this));
    mGrabberThread.Bind(Delegate0::Bind<&DesktopTracker::GrabLoop>(this));
}

DesktopTracker::~DesktopTracker() {
    Stop();
}

boost::shared_ptr<DesktopTracker> DesktopTracker::Share() {
    static CriticalSection lock;
    static boost::weak_ptr<DesktopTracker> shared;
    CriticalSectionLock locked(lock);
    boost::shared_ptr<DesktopTracker> tracker = shared.lock();
    if (!tracker) {
        tracker.reset(new DesktopTracker);
        shared = tracker;
    }
    return tracker;
}

boost::shared_ptr<TrackingMode> DesktopTracker::GetTrackingMode(int bytesPerPixel, int width, int height) {
    CriticalSectionLock lifecycle(mLifecycle);
    SIZE const screen = GetScreenSize();
    bool wasEmpty;
    {
        CriticalSectionLock lock(mLock);
        for (auto const& mode : mModes) {
            SIZE const frame = mode->GetFrameSize();
            bool const fits =
                (frame.cx == width && frame.cy == height) || (frame.cx == screen.cx && frame.cy == screen.cy);
            if (fits && mode->GetBytesPerPixel() == bytesPerPixel) {
                ++mHolders[mode.get()];
                return mode;
            }
        }
        wasEmpty = mModes.empty();
    }
    boost::shared_ptr<TrackingMode> mode(new TrackingMode(bytesPerPixel, screen, mWake));
    {
        CriticalSectionLock lock(mLock);
        mModes.push_back(mode);
    }
    if (wasEmpty && !mStarted) {
        Start();
    }
    ++mHolders[mode.get()];
    return mode;
}

void DesktopTracker::ReleaseTrackingMode(boost::shared_ptr<TrackingMode> const& mode) {
    CriticalSectionLock lifecycle(mLifecycle);
    auto held = mHolders.find(mode.get());
    if (held != mHolders.end() && --held->second > 0) {
        return;
    }
    RemoveTrackingMode(mode);
}

void DesktopTracker::RemoveTrackingMode(boost::shared_ptr<TrackingMode> const& mode) {
    CriticalSectionLock lifecycle(mLifecycle);
    mHolders.erase(mode.get());
    bool last;
    {
        CriticalSectionLock lock(mLock);
        auto found = std::find(mModes.begin(), mModes.end(), mode);
        if (found == mModes.end()) {
            return;
        }
        mModes.erase(found);
        last = mModes.empty();
    }
    if (last) {
        Stop();
    }
}

void DesktopTracker::Resume() {
    mActive = true;
    mWake->Set();
}

bool DesktopTracker::IsRunning() const {
    return mTrackerThread.IsAlive() || mGrabberThread.IsAlive();
}

SIZE DesktopTracker::GetScreenSize() const {
    return DesktopUtil::GetDesktopResolution();
}

void DesktopTracker::Start() {
    // Threads stopped from a subscriber were only told to end.
    mTrackerThread.Join(kTrackerJoinMs, true);
    mGrabberThread.Join(kGrabberJoinMs, true);
    mTrackerThread.ResetStopEvent();
    mGrabberThread.ResetStopEvent();
    try {
        mTrackerThread.Start();
    } catch (...) {
        CriticalSectionLock lock(mLock);
        mModes.clear();
        throw;
    }
    mStarted = true;
}

void DesktopTracker::Stop() {
    CriticalSectionLock lifecycle(mLifecycle);
    mTrackerThread.SetStopEvent();
    mGrabberThread.SetStopEvent();
    mStarted = false;
    if (GetCurrentThreadId() == mTrackerThread.GetId() && mTrackerThread.IsAlive()) {
        return;  // a subscriber: the thread ends after this pass
    }
    if (!mTrackerThread.Join(kTrackerJoinMs, true)) {
        CORVANE_LOG("DesktopTracker thread did not stop in time");
    }
    if (!mGrabberThread.Join(kGrabberJoinMs, true)) {
        CORVANE_LOG("OwnGrabber thread did not stop in time");
    }
}

void DesktopTracker::TrackLoop() {
    if (!CFrameBufferOut::DriverCanBeUsed()) {
        try {
            mGrabberThread.Start();
        } catch (std::exception const&) {
            // Logged as it was raised; without marks only full frames go out.
        }
    }
    DWORD wait;
    do {
        wait = mActive ? Pass() : INFINITE;
    } while (SyncEvent::Wait(mTrackerThread.GetStopEvent(), *mWake, wait) != WAIT_OBJECT_0);
}

void DesktopTracker::GrabLoop() {
    do {
        MarkVisibleWindows();
        mWake->Set();
    } while (mGrabberThread.GetStopEvent().Wait(kMarkPeriodMs) == WAIT_TIMEOUT);
}

// A look pulled by the channel marks the windows first; one that comes before the floor
// waits for it.
DWORD DesktopTracker::Pass() {
    DWORD const now = GetTickCount();
    mLookPending = LookWanted() || mLookPending;
    DWORD wait = INFINITE;
    bool look = false;
    if (mLookPending && now - mLastLook < mLookFloor) {
        wait = mLookFloor - (now - mLastLook);
    } else if (mLookPending) {
        look = true;
        mLookPending = false;
        mLastLook = now;
    }
    PreciseTimer marking(true);
    if (look) {
        MarkVisibleWindows();
    }
    int lookMs = marking.GetTimeInMs();
    wait = std::min(wait, ProcessModes(lookMs));
    if (look) {
        mLookFloor = std::max<DWORD>(kMinLookMs, DWORD(lookMs) * 100 / kLookBudgetPercent);
    }
    return wait;
}

// Without the driver only: its path keeps its own change list.
bool DesktopTracker::LookWanted() {
    if (!mGrabberThread.IsAlive()) {
        return false;
    }
    CriticalSectionLock lock(mLock);
    bool wanted = false;
    for (auto const& mode : mModes) {
        wanted = mode->TakeLookWanted() || wanted;
    }
    return wanted;
}

DWORD DesktopTracker::ProcessModes(int& lookMs) {
    CriticalSectionLock lock(mLock);
    SIZE const screen = GetScreenSize();
    // A copy: a subscriber may remove a mode while it is being raised.
    std::vector<boost::shared_ptr<TrackingMode>> const modes = mModes;
    DWORD wait = INFINITE;
    for (auto const& mode : modes) {
        wait = std::min(wait, mode->Process(screen));
        lookMs += mode->GetLastLookMs();
    }
    return wait;
}

// The windows are listed outside the lock, so a pass does not wait for the enumeration.
void DesktopTracker::MarkVisibleWindows() {
    std::vector<RECT> rects;
    EnumWindows(&CollectVisibleWindow, reinterpret_cast<LPARAM>(&rects));
    CriticalSectionLock lock(mLock);
    std::vector<RECT> const marked = mPlaces.Update(rects, GetTickCount());
    for (auto const& mode : mModes) {
        mode->MarkChanged(marked);
    }
}
