#include "capture/TrackingMode.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <exception>
#include <utility>

#include "capture/ChangePacketReader.h"
#include "capture/ScreenChange.h"
#include "foundation/CorvaneLogging.h"

namespace {

constexpr unsigned long kPlainCopy = SRCCOPY;
constexpr std::size_t kPacketHeaderBytes = 12;

// Tick counts wrap after 49 days: compare by difference.
bool Reached(DWORD now, DWORD deadline) {
    return static_cast<long>(now - deadline) >= 0;
}

}  // namespace

TrackingMode::TrackingMode(int bytesPerPixel, SIZE screen, boost::shared_ptr<SyncEvent> wake)
    : mWake(std::move(wake)),
      mDeadline(GetTickCount()),
      mLastCheck(mDeadline),
      mBytesPerPixel(bytesPerPixel) {
    ResetFrameBuffer(screen);
}

TrackingMode::~TrackingMode() = default;

void TrackingMode::Add(Handler const& handler) {
    {
        CriticalSectionLock lock(mListLock);
        mViewers.push_back(
            boost::shared_ptr<ModeViewer>(new ModeViewer(handler, RECT{0, 0, mFrameSize.cx, mFrameSize.cy})));
    }
    SetEnabled(handler, true);
}

void TrackingMode::Remove(Handler const& handler) {
    boost::shared_ptr<ModeViewer> viewer;
    {
        CriticalSectionLock lock(mListLock);
        auto found = std::find_if(mViewers.begin(), mViewers.end(),
                                  [&](auto const& each) { return each->GetHandler() == handler; });
        if (found == mViewers.end()) {
            return;
        }
        viewer = *found;
        mViewers.erase(found);
    }
    viewer->Detach();
}

boost::shared_ptr<ModeViewer> TrackingMode::Find(Handler const& handler) const {
    CriticalSectionLock lock(mListLock);
    for (auto const& viewer : mViewers) {
        if (viewer->GetHandler() == handler) {
            return viewer;
        }
    }
    return {};
}

TrackingMode::Viewers TrackingMode::Snapshot() const {
    CriticalSectionLock lock(mListLock);
    return mViewers;
}

void TrackingMode::SetEnabled(Handler const& handler, bool enabled) {
    if (auto viewer = Find(handler)) {
        viewer->SetReady(enabled);
    }
    if (enabled) {
        mLookWanted = true;
        if (mWake) {
            mWake->Set();
        }
    }
}

void TrackingMode::SetEnabled(bool enabled) {
    for (auto const& viewer : Snapshot()) {
        SetEnabled(viewer->GetHandler(), enabled);
    }
}

bool TrackingMode::IsEnabled() const {
    Viewers const viewers = Snapshot();
    return std::any_of(viewers.begin(), viewers.end(), [](auto const& viewer) { return viewer->IsReady(); });
}

void TrackingMode::NoteLacking(Handler const& handler, IScreenChange const& change) {
    if (auto viewer = Find(handler)) {
        viewer->NoteLacking(change.GetData(), change.GetDataSize(), mBytesPerPixel, GetTickCount());
    }
}

SIZE TrackingMode::GetFrameSize() const {
    SIZE size = {0, 0};
    if (mFrameBuffer) {
        mFrameBuffer->GetSize(size);
    }
    return size;
}

DWORD TrackingMode::Process(SIZE screen) {
    mLastLookMs = 0;
    if (!mFrameBuffer) {
        return INFINITE;
    }
    SIZE const frame = GetFrameSize();
    DWORD const now = GetTickCount();
    if ((frame.cx != screen.cx || frame.cy != screen.cy) && !mResolutionChangePending) {
        mResolutionChangePending = true;
        mLastCheck = now;
        mDeadline = now + kResolutionChangeDelayMs;
    }
    if (!mResolutionChangePending) {
        return ProcessViewers();
    }
    mLastCheck = now;
    if (!Reached(now, mDeadline)) {
        return mDeadline - now;
    }
    mResolutionChangePending = false;
    ResetFrameBuffer(screen);
    RaiseFullFrame(Snapshot(), screen);
    return 0;
}

// One detection for all; new changes first, refinement only for a pass that raised nothing.
// The driver's change list cannot be kept per viewer: with it every viewer must be ready.
DWORD TrackingMode::ProcessViewers() {
    Viewers const viewers = Snapshot();
    Viewers ready;
    std::copy_if(viewers.begin(), viewers.end(), std::back_inserter(ready),
                 [](auto const& viewer) { return viewer->IsReady(); });
    if (ready.empty()) {
        return INFINITE;
    }
    // A viewer turns ready after noting what it lacks, so its notes are all here.
    for (auto const& viewer : ready) {
        viewer->ApplyNotes();
    }
    bool const driver = mFrameBuffer->UseDriver() != 0;
    if (driver && ready.size() != viewers.size()) {
        return kDriverPollMs;
    }
    Viewers fresh;
    Viewers owing;
    for (auto const& viewer : ready) {
        (viewer->OwesNothing() ? fresh : owing).push_back(viewer);
    }
    bool raised = RaiseFresh(viewers, fresh);
    raised = RaiseOwed(owing) || raised;
    if (raised) {
        return 0;
    }
    if (driver) {
        return kDriverPollMs;
    }
    DWORD const now = GetTickCount();
    return RaiseRefinements(ready, now) ? 0 : NextRefinementDue(ready, now);
}

// Grabs and compares once; what it finds goes to `fresh` as it is, and every other
// subscriber owes it.
bool TrackingMode::RaiseFresh(Viewers const& viewers, Viewers& fresh) {
    void* data = nullptr;
    unsigned long size = 0;
    int owned = 0;
    PreciseTimer look(true);
    bool const found = mFrameBuffer->GetData(data, size, owned);
    mLastLookMs = look.GetTimeInMs();
    if (!found) {
        return false;
    }
    ++mDetections;
    for (auto const& viewer : viewers) {
        if (std::find(fresh.begin(), fresh.end(), viewer) == fresh.end()) {
            viewer->Owe(data, size, mBytesPerPixel);
        }
    }
    if (fresh.empty()) {
        if (owned) {
            mFrameBuffer->FreeData(data);
        }
        return false;
    }
    Raise(fresh, data, size, owned != 0);
    return true;
}

// Subscribers that owe the same cells take one packet of the stored frame.
bool TrackingMode::RaiseOwed(Viewers owing) {
    bool raised = false;
    while (!owing.empty()) {
        std::vector<unsigned char> const state = owing.front()->OwedState();
        Viewers group;
        Viewers rest;
        for (auto const& viewer : owing) {
            (viewer->OwedState() == state ? group : rest).push_back(viewer);
        }
        std::vector<RECT> const rects = group.front()->TakeOwed();
        for (auto const& viewer : group) {
            viewer->TakeOwed();
        }
        void* data = nullptr;
        unsigned long size = 0;
        if (mFrameBuffer->GetStored(rects, data, size)) {
            Raise(group, data, size, true);
            raised = true;
        } else if (mFrameBuffer->UseDriver()) {
            RaiseFullFrame(group, SIZE{mFrameSize.cx, mFrameSize.cy});
            raised = true;
        }
        owing.swap(rest);
    }
    return raised;
}

bool TrackingMode::RaiseRefinements(Viewers const& ready, DWORD now) {
    bool raised = false;
    for (auto const& viewer : ready) {
        void* data = nullptr;
        unsigned long size = 0;
        std::vector<RECT> const rects = viewer->Cells().TakeLacking(now, kStillMs, kRefineCells);
        if (!rects.empty() && mFrameBuffer->GetStored(rects, data, size)) {
            Raise(Viewers{viewer}, data, size, true, true);
            raised = true;
        }
    }
    return raised;
}

DWORD TrackingMode::NextRefinementDue(Viewers const& ready, DWORD now) {
    DWORD due = INFINITE;
    for (auto const& viewer : ready) {
        due = std::min(due, viewer->Cells().NextLackingDue(now, kStillMs));
    }
    return due;
}

void TrackingMode::MarkChanged(std::vector<RECT> const& rects) {
    if (!mFrameBuffer || mFrameBuffer->UseDriver()) {
        return;
    }
    for (RECT const& rect : rects) {
        mFrameBuffer->InvalidateRect(rect);
    }
}

// Whoever takes a full frame owes nothing more.
void TrackingMode::RaiseFullFrame(Viewers const& viewers, SIZE screen) {
    RECT const rect = {0, 0, screen.cx, screen.cy};
    for (auto const& viewer : viewers) {
        viewer->Settle(rect);
    }
    std::vector<unsigned char> packet(kPacketHeaderBytes +
                                      std::size_t(mBytesPerPixel) * screen.cx * screen.cy);
    packet[0] = 1;
    WriteChangeRect(&packet[4], rect);
    if (!CFrameBufferOut::GrabRectFromScreen(GetDC(nullptr), rect, &packet[kPacketHeaderBytes], kPlainCopy,
                                             mBytesPerPixel)) {
        // The new frame buffer's first packet covers the screen all the same.
        CORVANE_LOG("Failed to grab the full frame");
        return;
    }
    Raise(viewers, packet.data(), static_cast<unsigned long>(packet.size()), false);
}

// One change for all of `viewers`, one after the other. A subscriber's failure costs only its
// own call: the thread goes on with the next.
void TrackingMode::Raise(Viewers const& viewers, void* data, unsigned long size, bool owned, bool exact) {
    SIZE const frame = GetFrameSize();
    ScreenChange change(frame.cx, frame.cy, mBytesPerPixel, 0, data, size, owned);
    change.exact = exact;
    for (auto const& viewer : viewers) {
        try {
            viewer->Call(change);
        } catch (std::exception const& error) {
            CORVANE_LOG("Error processing screen change: " << error.what());
        }
    }
}

void TrackingMode::ResetFrameBuffer(SIZE screen) {
    mFrameBuffer.reset();
    mFrameBuffer = std::make_unique<CFrameBufferOut>();
    mFrameBuffer->SetCaps(screen.cx, screen.cy, mBytesPerPixel);
    SIZE const frame = GetFrameSize();
    CriticalSectionLock lock(mListLock);
    mFrameSize = frame;
}
