#include "capture/TrackingMode.h"

#include <cstring>
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

void TrackingMode::SetEnabled(bool enabled) {
    mEnabled = enabled;
    if (enabled) {
        mLookWanted = true;
        if (mWake) {
            mWake->Set();
        }
    }
}

TrackingMode::~TrackingMode() = default;

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
        return mEnabled ? ProcessEnabled() : INFINITE;
    }
    mLastCheck = now;
    if (!Reached(now, mDeadline)) {
        return mDeadline - now;
    }
    mResolutionChangePending = false;
    ResetFrameBuffer(screen);
    RaiseFullFrame(screen);
    return 0;
}

// New changes first; refinement only when the pass found none.
DWORD TrackingMode::ProcessEnabled() {
    if (RaiseNextPacket()) {
        return 0;
    }
    if (mFrameBuffer->UseDriver()) {
        return kDriverPollMs;
    }
    DWORD const now = GetTickCount();
    return RaiseRefinement(now) ? 0 : mFrameBuffer->NextRefinementDue(now, kStillMs);
}

void TrackingMode::NoteLacking(IScreenChange const& change) {
    if (mFrameBuffer) {
        mFrameBuffer->NoteLacking(change.GetData(), change.GetDataSize(), GetTickCount());
    }
}

void TrackingMode::MarkChanged(std::vector<RECT> const& rects) {
    if (!mFrameBuffer || mFrameBuffer->UseDriver()) {
        return;
    }
    for (RECT const& rect : rects) {
        mFrameBuffer->InvalidateRect(rect);
    }
}

bool TrackingMode::RaiseNextPacket() {
    void* data = nullptr;
    unsigned long size = 0;
    int owned = 0;
    PreciseTimer look(true);
    bool const found = mFrameBuffer->GetData(data, size, owned);
    mLastLookMs = look.GetTimeInMs();
    if (found) {
        Raise(data, size, owned != 0);
    }
    return found;
}

bool TrackingMode::RaiseRefinement(DWORD now) {
    void* data = nullptr;
    unsigned long size = 0;
    if (!mFrameBuffer->GetRefinement(data, size, now, kStillMs, kRefineCells)) {
        return false;
    }
    Raise(data, size, true, true);
    return true;
}

void TrackingMode::RaiseFullFrame(SIZE screen) {
    RECT const rect = {0, 0, screen.cx, screen.cy};
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
    Raise(packet.data(), static_cast<unsigned long>(packet.size()), false);
}

// A subscriber's failure costs only this change: the thread goes on with the next pass.
void TrackingMode::Raise(void* data, unsigned long size, bool owned, bool exact) {
    SIZE const frame = GetFrameSize();
    ScreenChange change(frame.cx, frame.cy, mBytesPerPixel, mStarted ? mTimer.GetTimeInMs() : 0, data, size,
                        owned);
    change.exact = exact;
    try {
        (*this)(change);
    } catch (std::exception const& error) {
        CORVANE_LOG("Error processing screen change: " << error.what());
    }
    mTimer.Start();
    mStarted = true;
}

void TrackingMode::ResetFrameBuffer(SIZE screen) {
    mFrameBuffer.reset();
    mFrameBuffer = std::make_unique<CFrameBufferOut>();
    mFrameBuffer->SetCaps(screen.cx, screen.cy, mBytesPerPixel);
}
