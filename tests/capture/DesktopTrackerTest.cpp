#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "CapturePackets.h"
#include "LogCapture.h"
#include "SceneTest.h"
#include "capture/ChangePacketReader.h"
#include "capture/DesktopTracker.h"
#include "foundation/Errors.h"
#include "foundation/SyncEvent.h"

namespace {

COLORREF const kOrange = RGB(200, 100, 30);
COLORREF const kGreen = RGB(17, 200, 90);
unsigned const kArrivalMs = 5000;

struct Received {
    int width, height, bytesPerPixel, timing;
    DWORD at;
    std::vector<unsigned char> bytes;
    bool exact;

    std::vector<RECT> Rects() const { return PacketRects(bytes, bytesPerPixel); }
    RECT Rect() const { return Rects().at(0); }
};

// Copies every change of a mode and, as the sharing side does, switches itself off until the
// test switches it on again; lossy, it notes every change as lacking, as a JPEG sender would.
// `then` runs after each change, on the tracker's thread.
class ChangeCollector {
public:
    explicit ChangeCollector(boost::shared_ptr<TrackingMode> mode) : mode(mode) { mode->Add(Self()); }
    ~ChangeCollector() { mode->Remove(Self()); }

    // True when `count` changes have arrived within the time-out.
    bool WaitFor(std::size_t count, DWORD timeout = kArrivalMs) {
        for (DWORD const begin = GetTickCount(); Count() < count;) {
            DWORD const spent = GetTickCount() - begin;
            if (spent >= timeout) {
                return false;
            }
            mArrived.Wait(timeout - spent);
        }
        return true;
    }
    std::size_t Count() {
        std::lock_guard<std::mutex> lock(mMutex);
        return mChanges.size();
    }
    Received At(std::size_t index) {
        std::lock_guard<std::mutex> lock(mMutex);
        return mChanges.at(index);
    }
    // Switches this subscriber on and waits for the next change.
    Received Next() {
        std::size_t const count = Count();
        Enable();
        EXPECT_TRUE(WaitFor(count + 1)) << "change " << count;
        return Count() > count ? At(count) : Received{};
    }
    void Enable() { mode->SetEnabled(Self(), true); }

    boost::shared_ptr<TrackingMode> const mode;
    std::atomic<bool> lossy{false};
    std::function<void()> then;  // set while the tracker is paused

private:
    Delegate<IScreenChange&> Self() {
        return Delegate<IScreenChange&>::Bind<&ChangeCollector::OnChange>(this);
    }
    void OnChange(IScreenChange& change) {
        mode->SetEnabled(Self(), false);
        if (lossy && !change.exact) {
            mode->NoteLacking(Self(), change);
        }
        auto data = static_cast<unsigned char const*>(change.GetData());
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mChanges.push_back(
                Received{change.width, change.height, change.bytesPerPixel, change.timing, GetTickCount(),
                         std::vector<unsigned char>(data, data + change.GetDataSize()), change.exact});
        }
        mArrived.Set();
        if (then) {
            then();
        }
    }

    std::mutex mMutex;
    std::vector<Received> mChanges;
    SyncEvent mArrived;
};

// A tracker whose screen size the test sets, as a display change would.
class ResizingTracker : public DesktopTracker {
public:
    ~ResizingTracker() override { Stop(); }
    void SetScreenSize(SIZE size) { mSize = size.cx << 16 | size.cy; }

protected:
    SIZE GetScreenSize() const override {
        long const size = mSize;
        return size ? SIZE{size >> 16, size & 0xFFFF} : DesktopTracker::GetScreenSize();
    }

private:
    std::atomic<long> mSize{0};
};

// Every rectangle of the packet holds the screen's pixels there (24 bits).
void ExpectScreenPixels(Received const& change) {
    ChangePacketReader reader(change.bytes.data(), change.bytes.size(), 3);
    ChangePacketRecord record;
    int rects = 0;
    for (; reader.Next(record); ++rects) {
        std::vector<unsigned char> const screen = ScreenScene::Grab(record.rect);
        EXPECT_EQ(std::memcmp(screen.data(), record.pixels, screen.size()), 0) << Describe(record.rect);
    }
    EXPECT_GT(rects, 0);
}

void ExpectFullFrame(Received const& change, SIZE size, int depth = 3) {
    EXPECT_EQ(Describe(RECT{0, 0, change.width, change.height}), Describe(RECT{0, 0, size.cx, size.cy}));
    EXPECT_EQ(Describe(change.Rect()), Describe(RECT{0, 0, size.cx, size.cy}));
    ASSERT_EQ(change.bytes.size(), 12u + std::size_t(depth) * size.cx * size.cy);
    if (depth == 3) {
        ExpectScreenPixels(change);
    }
}

// True when the rectangles together cover `painted`.
bool Covers(std::vector<RECT> const& rects, RECT const& painted) {
    HRGN left = CreateRectRgnIndirect(&painted);
    for (RECT const& rect : rects) {
        HRGN covered = CreateRectRgnIndirect(&rect);
        CombineRgn(left, left, covered, RGN_DIFF);
        DeleteObject(covered);
    }
    RECT box;
    bool const none = GetRgnBox(left, &box) == NULLREGION;
    DeleteObject(left);
    return none;
}

class DesktopTrackerTest : public SceneTest {
protected:
    // Paints `painted` green and makes a mode of `tracker` at `depth` with a collector that has
    // all of its changes: a full frame of the screen first, then the frame buffer's first
    // packet, the part of the screen that is not black.
    std::unique_ptr<ChangeCollector> Watch(DesktopTracker& tracker, int depth, RECT const& painted,
                                           std::function<void()> then = nullptr) {
        Fill(painted, kGreen);
        tracker.Pause();
        auto changes = std::make_unique<ChangeCollector>(tracker.GetTrackingMode(depth, size.cx, size.cy));
        changes->then = then;
        tracker.Resume();
        EXPECT_TRUE(changes->WaitFor(1));
        Received const full = changes->At(0);
        EXPECT_EQ(full.bytesPerPixel, depth);
        EXPECT_EQ(full.timing, 0);
        ExpectFullFrame(full, size, depth);
        EXPECT_EQ(Describe(changes->Next().Rect()), Describe(painted)) << "the first packet, trimmed";
        return changes;
    }
};

// A full frame, then the frame buffer's first packet, then only what changed; nothing is
// taken while the mode is off, and what changed meanwhile comes in one packet after it is on
// again. A subscriber done at once gets the next paint at once, not at the window marking's
// next round ten times a second.
TEST_F(DesktopTrackerTest, FullFrameThenChangesPacedByTheSubscriber) {
    DesktopTracker tracker;
    auto changes = Watch(tracker, 3, RECT{100, 120, 180, 150});
    EXPECT_EQ(tracker.GetTrackingMode(3, size.cx, size.cy), changes->mode) << "the same frame and depth";

    RECT const second = {600, 500, 601, 540};
    Fill(second, kGreen);
    Received const change = changes->Next();
    EXPECT_EQ(Describe(change.Rect()), Describe(second));
    EXPECT_EQ(change.bytes.size(), 12u + 3 * 40);
    EXPECT_GT(change.timing, 0) << "since the previous change";

    RECT const third = {40, 700, 90, 760};
    RECT const fourth = {1000, 60, 1010, 70};
    Fill(third, kGreen);
    Fill(fourth, kOrange);
    EXPECT_FALSE(changes->WaitFor(4, 400)) << "nothing while the mode is off";
    EXPECT_EQ(Describe(changes->Next().Rects()), Describe({fourth, third})) << "one packet, top first";

    int const rounds = 20;
    DWORD const start = GetTickCount();
    for (int round = 0; round < rounds; ++round) {
        Fill(RECT{200, 200, 240, 240}, round % 2 ? kOrange : kGreen);
        ASSERT_EQ(Describe(changes->Next().Rect()), Describe(RECT{200, 200, 240, 240})) << round;
    }
    EXPECT_LT(GetTickCount() - start, rounds * 100u / 2) << "a round waited for the marking";
}

// A new screen size stops the changes for 2000 ms, then one full frame at the new size comes,
// and the new frame buffer's packets follow.
TEST_F(DesktopTrackerTest, ResolutionChangeSendsFullFrameAfterTwoSeconds) {
    RECT const before = {5, 5, 10, 10};
    ResizingTracker tracker;
    auto changes = Watch(tracker, 3, before);

    SIZE const smaller = {size.cx - 256, size.cy - 128};
    DWORD const changed = GetTickCount();
    tracker.SetScreenSize(smaller);
    Sleep(200);  // a pass that read the old size before has ended with the mode off
    changes->mode->SetEnabled(true);
    RECT const during = {200, 200, 260, 230};
    Fill(during, kOrange);
    ASSERT_TRUE(changes->WaitFor(3, 4000));
    Received const full = changes->At(2);
    EXPECT_GE(full.at - changed, 1990u) << "no packet before the deadline";
    ExpectFullFrame(full, smaller);
    Received const next = changes->Next();
    EXPECT_EQ(next.width * 10000 + next.height, smaller.cx * 10000 + smaller.cy);
    EXPECT_EQ(Describe(next.Rect()), Describe(RECT{before.left, before.top, during.right, during.bottom}))
        << "the new frame buffer's first packet";
}

// The last mode's removal stops both threads, also from inside the mode's own event; a new
// mode starts them again and its first full frame comes even when a subscriber fails, which
// is logged.
TEST_F(DesktopTrackerTest, LastModeStopsTheThreadsAndTheNextStartsThem) {
    DesktopTracker tracker;
    auto colour = tracker.GetTrackingMode(3, size.cx, size.cy);
    auto grey = tracker.GetTrackingMode(1, size.cx, size.cy);
    tracker.RemoveTrackingMode(colour);
    EXPECT_TRUE(tracker.IsRunning());
    tracker.RemoveTrackingMode(grey);
    EXPECT_FALSE(tracker.IsRunning()) << "both threads joined";

    tracker.Pause();
    ChangeCollector removing(tracker.GetTrackingMode(3, size.cx, size.cy));
    removing.then = [&] { tracker.RemoveTrackingMode(removing.mode); };
    tracker.Resume();
    ASSERT_TRUE(removing.WaitFor(1));
    for (int i = 0; i < 200 && tracker.IsRunning(); ++i) {
        Sleep(10);
    }
    EXPECT_FALSE(tracker.IsRunning()) << "the threads ended by themselves";

    LogCapture log;
    auto changes = Watch(tracker, 2, RECT{10, 10, 20, 20}, [failed = false]() mutable {
        if (!std::exchange(failed, true)) {
            throw BaseError("subscriber failed");
        }
    });
    EXPECT_TRUE(tracker.IsRunning());
    EXPECT_TRUE(log.Contains("Error processing screen change: subscriber failed"));
}

// Several subscribers of one mode: one grab and comparison serves all that are ready; one that
// stays off holds back no other, owes what it missed and gets it from the stored frame; one
// that comes late gets the whole stored frame; each has its own exact refinement.
TEST_F(DesktopTrackerTest, SubscribersShareTheDetectionAndKeepTheirOwnPace) {
    auto tracker = DesktopTracker::Share();
    EXPECT_EQ(DesktopTracker::Share(), tracker) << "one tracker while it is held";
    tracker->Pause();
    auto mode = tracker->GetTrackingMode(3, size.cx, size.cy);
    ChangeCollector fast(mode);
    ChangeCollector slow(mode);
    tracker->Resume();
    ASSERT_TRUE(fast.WaitFor(1));
    ASSERT_TRUE(slow.WaitFor(1));
    ExpectFullFrame(slow.At(0), size);

    RECT const first = {300, 310, 340, 325};
    Fill(first, kGreen);
    unsigned long const before = mode->GetDetectionCount();
    fast.Enable();
    slow.Enable();
    ASSERT_TRUE(fast.WaitFor(2));
    ASSERT_TRUE(slow.WaitFor(2));
    EXPECT_EQ(mode->GetDetectionCount(), before + 1) << "one detection for both";
    EXPECT_EQ(Describe(fast.At(1).Rect()), Describe(first));
    ExpectScreenPixels(slow.At(1));

    // The slow one stays off while the fast one takes every paint as it comes.
    std::vector<RECT> painted;
    for (int round = 0; round < 5; ++round) {
        painted.push_back(RECT{100 + 150 * round, 500, 130 + 150 * round, 520 + 10 * round});
        Fill(painted.back(), round % 2 ? kOrange : kGreen);
        EXPECT_EQ(Describe(fast.Next().Rect()), Describe(painted.back())) << round;
    }
    EXPECT_EQ(slow.Count(), 2u);
    Received const caughtUp = slow.Next();
    for (RECT const& rect : painted) {
        EXPECT_TRUE(Covers(caughtUp.Rects(), rect)) << Describe(rect);
    }
    ExpectScreenPixels(caughtUp);

    ChangeCollector late(mode);
    ASSERT_TRUE(late.WaitFor(1));
    EXPECT_EQ(Describe(late.At(0).Rect()), Describe(RECT{0, 0, size.cx, size.cy}));
    ExpectScreenPixels(late.At(0));

    // Only the one whose changes went lossy gets them again, exactly, once still.
    fast.lossy = true;
    RECT const last = {700, 100, 760, 140};
    Fill(last, kOrange);
    EXPECT_EQ(Describe(fast.Next().Rect()), Describe(last));
    Received const refined = fast.Next();
    EXPECT_TRUE(refined.exact);
    EXPECT_TRUE(Covers(refined.Rects(), last));
    ExpectScreenPixels(refined);
    std::size_t const slowCount = slow.Count();
    slow.Enable();
    ASSERT_TRUE(slow.WaitFor(slowCount + 1));
    EXPECT_FALSE(slow.At(slowCount).exact);
    EXPECT_FALSE(slow.WaitFor(slowCount + 2, 2 * TrackingMode::kStillMs)) << "no refinement of its own";
    fast.Enable();
    EXPECT_FALSE(fast.WaitFor(fast.Count() + 1, 2 * TrackingMode::kStillMs)) << "refined once";
}

}  // namespace
