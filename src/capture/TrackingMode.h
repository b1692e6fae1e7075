#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <vector>

#include "capture/FrameBufferOut.h"
#include "capture/IScreenChange.h"
#include "foundation/Event.h"
#include "foundation/PreciseTimer.h"

// One frame buffer at one colour depth, watched by a DesktopTracker: each pass of the
// tracker thread takes at most one change packet from it and raises it to the subscribers,
// synchronously on that thread. The first change is a full frame; so is the first after the
// screen size changed, 2000 ms after the change was first seen, with no packet in between.
// Subscribers switch the mode off while they send a change and on again when it has left.
class TrackingMode : public Event<IScreenChange&> {
public:
    // `screen` is the current screen size; the frame buffer takes it and `bytesPerPixel`.
    TrackingMode(int bytesPerPixel, SIZE screen);
    ~TrackingMode();

    // Any thread. While disabled no packet is taken; marked areas accumulate.
    void SetEnabled(bool enabled) { mEnabled = enabled; }
    bool IsEnabled() const { return mEnabled; }

    int GetBytesPerPixel() const { return mBytesPerPixel; }
    // The frame buffer's size. Under the tracker's lock.
    SIZE GetFrameSize() const;

    // One pass for the current screen size. Tracker thread, under the tracker's lock.
    void Process(SIZE screen);
    // Marks the rectangles as possibly changed; nothing in driver mode. Under the tracker's lock.
    void MarkChanged(std::vector<RECT> const& rects);

private:
    static constexpr DWORD kResolutionChangeDelayMs = 2000;

    bool RaiseNextPacket();
    void RaiseFullFrame(SIZE screen);
    void Raise(void* data, unsigned long size, bool owned);
    void ResetFrameBuffer(SIZE screen);

    bool mResolutionChangePending = true;
    std::atomic<bool> mEnabled{true};
    DWORD mDeadline;
    DWORD mLastCheck;
    int mBytesPerPixel;
    std::unique_ptr<CFrameBufferOut> mFrameBuffer;
    PreciseTimer mTimer;
    bool mStarted = false;
};
