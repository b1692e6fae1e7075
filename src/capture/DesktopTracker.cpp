#include "capture/DesktopTracker.h"

#include <algorithm>
#include <exception>

#include "foundation/CorvaneLogging.h"
#include "foundation/DesktopUtil.h"

namespace {

BOOL CALLBACK CollectVisibleWindow(HWND window, LPARAM parameter) {
    RECT rect;
    if ((GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) && GetWindowRect(window, &rect)) {
        reinterpret_cast<std::vector<RECT>*>(parameter)->push_back(rect);
    }
    return TRUE;
}

}  // namespace

DesktopTracker::DesktopTracker() : mTrackerThread("DesktopTracker"), mGrabberThread("OwnGrabber") {
    mTrackerThread.Bind(Delegate0::Bind<&DesktopTracker::TrackLoop>(this));
    mGrabberThread.Bind(Delegate0::Bind<&DesktopTracker::GrabLoop>(this));
}

DesktopTracker::~DesktopTracker() {
    Stop();
}

boost::shared_ptr<TrackingMode> DesktopTracker::GetTrackingMode(int bytesPerPixel, int width, int height) {
    CriticalSectionLock lifecycle(mLifecycle);
    bool wasEmpty;
    {
        CriticalSectionLock lock(mLock);
        for (auto const& mode : mModes) {
            SIZE const frame = mode->GetFrameSize();
            if (frame.cx == width && frame.cy == height && mode->GetBytesPerPixel() == bytesPerPixel) {
                return mode;
            }
        }
        wasEmpty = mModes.empty();
    }
    boost::shared_ptr<TrackingMode> mode(new TrackingMode(bytesPerPixel, GetScreenSize()));
    {
        CriticalSectionLock lock(mLock);
        mModes.push_back(mode);
    }
    if (wasEmpty && !mStarted) {
        Start();
    }
    return mode;
}

void DesktopTracker::RemoveTrackingMode(boost::shared_ptr<TrackingMode> const& mode) {
    CriticalSectionLock lifecycle(mLifecycle);
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
    do {
        if (mActive) {
            ProcessModes();
        }
    } while (mTrackerThread.GetStopEvent().Wait(kPassPauseMs) == WAIT_TIMEOUT);
}

void DesktopTracker::GrabLoop() {
    do {
        MarkVisibleWindows();
    } while (mGrabberThread.GetStopEvent().Wait(kMarkPeriodMs) == WAIT_TIMEOUT);
}

void DesktopTracker::ProcessModes() {
    CriticalSectionLock lock(mLock);
    SIZE const screen = GetScreenSize();
    // A copy: a subscriber may remove a mode while it is being raised.
    std::vector<boost::shared_ptr<TrackingMode>> const modes = mModes;
    for (auto const& mode : modes) {
        mode->Process(screen);
    }
}

// The windows are listed outside the lock, so a pass does not wait for the enumeration.
void DesktopTracker::MarkVisibleWindows() {
    std::vector<RECT> rects;
    EnumWindows(&CollectVisibleWindow, reinterpret_cast<LPARAM>(&rects));
    CriticalSectionLock lock(mLock);
    for (auto const& mode : mModes) {
        mode->MarkChanged(rects);
    }
}
