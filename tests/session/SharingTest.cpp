// The sharing side: alice shares her screen with her viewers inside one simulator, and a tap
// beside a viewer's session reads what she sends.
#include <windows.h>

#include <atomic>
#include <memory>

#include "LogCapture.h"
#include "NullSession.h"
#include "ScreenScene.h"
#include "ScriptedSessionGui.h"
#include "SessionTestSupport.h"
#include "foundation/SyncEvent.h"
#include "imaging/Picture.h"
#include "network/ControlMessages.h"
#include "network/ScreenChangeNetMsg.h"
#include "session/DisplayingState.h"
#include "session/TrackingState.h"
#include "viewer/RemoteScreenSurface.h"

namespace session_test {
namespace {

class Sharing : public AliceAndContacts {
protected:
    // Bob asks for alice's desktop at 24 bits without JPEG, which the tap rebuilds; alice accepts.
    void StartSharing() {
        bob->config.SessionQuality.ColorDepth.Set(24);
        bob->config.SessionQuality.UseJpeg.Set(false);
        Views(*bob, *alice);
    }

    bool ScreenRebuilt(ScreenScene const& scene) {
        return WaitUntil([&] {
            SIZE size;
            std::vector<unsigned char> const rebuilt = Tap().GetScreen(size);
            return size.cx == scene.GetSize().cx && size.cy == scene.GetSize().cy &&
                   rebuilt == ScreenScene::Grab(RECT{0, 0, size.cx, size.cy});
        });
    }
};

// A quality change moves tracking to the new depth; the sharer's own stop ends it, also while
// changes are in flight, again and again.
TEST_F(Sharing, QualityChangeAndStopsWhileChangesFlow) {
    ScreenScene scene;
    Tap();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        StartSharing();
        ASSERT_TRUE(WaitUntil([&] { return Tap().GetCounts().lastBytesPerPixel == 3; }));
        if (round == 0) {
            FromBob(
                ShowMyDesktopNetMsg(SessionQualityConfiguration({1024, 768}, 16, false, 50), false, false));
            ASSERT_TRUE(WaitUntil([&] { return Tap().GetCounts().lastBytesPerPixel == 2; }));
            EXPECT_TRUE(WaitUntil([&] { return AliceStatus("Color depth") == "16 bit"; }));
        }
        for (int i = 0; i < 5; ++i) {
            scene.Fill(RECT{10 * i, 10, 10 * i + 8, 60}, RGB(40 * i, 100, 200));
        }
        AliceStopsSharing();
        scene.Reset();
    }
}

// Without the driver alice is warned as the state starts. The full frame and the changes after
// it rebuild her screen exactly, and a change the messenger refuses to write does not stop the
// ones after it.
TEST_F(Sharing, ChangesGoOnAfterAFailedWrite) {
    ScreenScene scene;
    ASSERT_TRUE(scene.IsShown());
    Tap();
    StartSharing();
    alice->cursor = 0;  // told while the state starts, before the switch is relayed
    EXPECT_TRUE(
        alice->Expect("\"Warning: driver not installed. Please install driver to improve performance.\" red"))
        << alice->Pending();
    ASSERT_TRUE(ScreenRebuilt(scene));
    EXPECT_EQ(AliceStatus("Total frames sent"), std::to_string(Tap().GetCounts().changes));
    LogCapture log;
    peers.Simulator().FailCommands(aliceHandle, "ALTER APPLICATION corvane.screen WRITE", "ERROR 999 refused",
                                   1);
    ASSERT_TRUE(scene.Fill(RECT{40, 30, 240, 130}, RGB(200, 30, 60)));
    ASSERT_TRUE(WaitUntil([&] { return log.Contains("Screen change not sent"); }));
    // The refused change goes again by itself, and the changes after it arrive.
    ASSERT_TRUE(scene.Fill(RECT{300, 200, 310, 500}, RGB(10, 220, 90)));
    EXPECT_TRUE(ScreenRebuilt(scene));
    EXPECT_GT(std::stod(AliceStatus("FPS")), 0.0);
}

// Alice shares with several viewers at once, each at its own quality: bob raw over an open
// link, carol JPEG over an open link, dave JPEG over a slow one. Carol asks for 8 bits, which
// with JPEG gets full colour (pictures always go in full colour), so she too ends exact.
class SeveralViewers : public AliceAndContacts {
protected:
    SeveralViewers() : AliceAndContacts({"bob", "carol", "dave"}) {
        peers.Simulator().SetRateTo(aliceHandle, Handle("dave"), 4000);
    }

    // Each viewer asks at its quality, alice accepts, and a tap beside the viewer reads it all.
    void StartAll() {
        int const jpegQualities[] = {80, 50, 80};  // bob's unused: he takes raw changes
        for (std::size_t i = 0; i < contacts.size(); ++i) {
            Side& side = *contacts[i];
            taps.push_back(std::make_unique<SharingTap>(side.manager->GetControlApplication(),
                                                        side.manager->GetScreenApplication(), aliceHandle));
            side.config.SessionQuality.ColorDepth.Set(i == 1 ? 8 : 24);
            side.config.SessionQuality.UseJpeg.Set(i > 0);
            side.config.SessionQuality.JpegQuality.Set(jpegQualities[i]);
            side.Gui()->Run("Request remote desktop");
            ASSERT_TRUE(alice->ExpectFrom(side.handle, "\"User wants to see your desktop\""))
                << alice->Pending();
            alice->guis.Gui(side.handle)->Run("Accept");
            ASSERT_TRUE(side.Expect("state DisplayingState")) << side.Pending();
        }
    }

    void TearDown() override {
        taps.clear();
        AliceAndContacts::TearDown();
    }

    // The viewer's picture, as its viewer drew it, is alice's screen pixel for pixel.
    bool SeesTheScreen(std::size_t viewer, ScreenScene const& scene) {
        std::shared_ptr<RemoteScreenSurface const> surface;
        contacts[viewer]->ContactSession()->ReadState([&](ISessionState* state) {
            if (auto displaying = dynamic_cast<DisplayingState*>(state)) {
                surface = displaying->GetSurface();
            }
        });
        Picture const picture = surface ? surface->Snapshot() : Picture();
        SIZE const size = scene.GetSize();
        if (!picture.GetPixels() || picture.GetWidth() != size.cx || picture.GetHeight() != size.cy) {
            return false;
        }
        std::vector<unsigned char> const screen = ScreenScene::Grab(RECT{0, 0, size.cx, size.cy});
        for (std::size_t i = 0; i < screen.size() / 3; ++i) {
            if ((picture.GetPixels()[i] & 0xFFFFFF) !=
                (screen[3 * i] | screen[3 * i + 1] << 8 | std::uint32_t(screen[3 * i + 2]) << 16)) {
                return false;
            }
        }
        return true;
    }

    std::vector<std::unique_ptr<SharingTap>> taps;
};

// The slow viewer does not hold back the others, and every viewer's picture becomes alice's
// screen exactly once it holds still (the JPEG ones through their own refinement).
TEST_F(SeveralViewers, SlowViewerHoldsBackNoOtherAndAllEndExact) {
    ScreenScene scene;
    ASSERT_TRUE(scene.IsShown());
    StartAll();
    for (std::size_t i = 0; i < taps.size(); ++i) {
        EXPECT_TRUE(WaitUntil([&] { return SeesTheScreen(i, scene); }, 30000)) << names[i] << " at the start";
    }
    std::vector<unsigned> during;
    for (auto const& tap : taps) {
        during.push_back(tap->GetCounts().changes);
    }
    int const rounds = 30;
    for (int round = 0; round < rounds; ++round) {
        ASSERT_TRUE(
            scene.Fill(RECT{100, 100, 500, 400}, RGB(round * 8, 255 - round * 8, round % 2 ? 40 : 200)));
        ASSERT_TRUE(scene.Fill(RECT{20 + 30 * round, 600, 40 + 30 * round, 640}, RGB(250, 250, round * 8)));
    }
    for (std::size_t i = 0; i < taps.size(); ++i) {
        during[i] = taps[i]->GetCounts().changes - during[i];
    }
    // Carol's pictures cost alice and her tap far more than bob's raw changes in this process.
    EXPECT_GE(during[0], unsigned(rounds / 3)) << "bob keeps up with the paints";
    EXPECT_GT(during[0], 2 * during[2]) << "dave is slower, and alone";
    EXPECT_GT(during[1], during[2]) << "carol is not held to dave's pace";
    for (std::size_t i = 0; i < taps.size(); ++i) {
        EXPECT_TRUE(WaitUntil([&] { return SeesTheScreen(i, scene); }, 30000)) << names[i] << " once still";
    }
    EXPECT_GT(taps[1]->GetCounts().pictureChanges, 0u) << "carol's JPEG went out first";
    EXPECT_EQ(taps[0]->GetCounts().pictureChanges, 0u);
}

// A sharing session without a peer: it counts the screen changes written and, while held,
// blocks in the write as a stalled messenger would. The calling thread plays "SkypeEvent".
class WriteCountingSession : public NullSession {
public:
    explicit WriteCountingSession(bool held) : mHeld(held), mGui(this, [](std::string const&) {}) {}

    void Release() {
        mHeld = false;
        mRelease.Set();
    }
    bool Blocked() const { return mBlocked; }
    unsigned Changes() const { return mChanges; }

    bool SendNetworkMessage(NetworkMessage const& message) override {
        if (!dynamic_cast<ScreenChangeNetMsg const*>(&message)) {
            return true;
        }
        if (mHeld) {
            mBlocked = true;
            mRelease.Wait(kWait * 2);
        }
        ++mChanges;
        return true;
    }
    Configuration* GetConfig() override { return &mConfig; }
    ISessionGui* GetGui() override { return &mGui; }

private:
    std::atomic<bool> mHeld;
    std::atomic<bool> mBlocked{false};
    std::atomic<unsigned> mChanges{0};
    SyncEvent mRelease;
    Configuration mConfig;
    ScriptedSessionGui mGui;
};

// A viewer whose write stalls holds back neither the tracker nor another viewer's changes.
TEST(TrackingSender, StalledWriteHoldsBackNoOtherViewer) {
    ScreenScene scene;
    ASSERT_TRUE(scene.IsShown());
    SIZE const size = scene.GetSize();
    SessionQualityConfiguration const quality({size.cx, size.cy}, 24, false, 80);
    WriteCountingSession stalled(true);
    WriteCountingSession open(false);
    TrackingState stalledState(quality);
    TrackingState openState(quality);
    stalledState.SetupNewState(&stalled);
    openState.SetupNewState(&open);
    stalledState.OnStarted();  // the first to subscribe: the first called with each change
    openState.OnStarted();
    EXPECT_TRUE(WaitUntil([&] { return stalled.Blocked(); }));
    EXPECT_TRUE(WaitUntil([&] { return open.Changes() > 0; })) << "the first frame";
    for (int round = 0; round < 3; ++round) {
        unsigned const before = open.Changes();
        openState.OnSendingFinished();
        ASSERT_TRUE(scene.Fill(RECT{50 + 40 * round, 50, 80 + 40 * round, 80}, RGB(200, 40 * round, 90)));
        EXPECT_TRUE(WaitUntil([&] { return open.Changes() > before; })) << "round " << round;
    }
    stalled.Release();
}

struct QualityRow {
    int configured;
    bool autoJpeg;
    bool useJpeg;
    int changeCount;
    int cps;
    int expected;
};

TEST(TrackingQuality, AutomaticJpegTableAndBytesPerPixel) {
    QualityRow const rows[] = {
        {80, true, true, 1, 100, 80},   {80, true, true, 2, 100, 80},   {80, true, true, 3, 100, 20},
        {80, true, true, 3, 4999, 20},  {80, true, true, 3, 5000, 30},  {80, true, true, 3, 39999, 40},
        {80, true, true, 3, 69999, 50}, {80, true, true, 3, 70000, 80}, {25, true, true, 3, 60000, 25},
        {80, false, true, 3, 100, 80},  {80, true, false, 3, 100, 80},
    };
    for (QualityRow const& row : rows) {
        SCOPED_TRACE(std::to_string(row.changeCount) + " at " + std::to_string(row.cps));
        SessionQualityConfiguration quality({1024, 768}, 24, row.useJpeg, row.configured);
        quality.AutoJpegQuality.Set(row.autoJpeg ? 1 : 0);
        EXPECT_EQ(TrackingState::ChooseJpegQuality(quality, row.changeCount, row.cps), row.expected);
    }
    int const depths[][2] = {{1, 3}, {4, 3}, {8, 1}, {16, 2}, {24, 3}, {32, 4}};
    for (auto const& depth : depths) {
        EXPECT_EQ(TrackingState::BytesPerPixel(depth[0]), depth[1]) << depth[0];
    }
}

}  // namespace
}  // namespace session_test
