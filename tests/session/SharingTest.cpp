// The sharing side: alice shares her screen with bob inside one simulator, and a tap beside
// bob's session reads what she sends.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <iostream>
#include <memory>

#include <mutex>

#include "LogCapture.h"
#include "NullSession.h"
#include "ScreenScene.h"
#include "SessionTestSupport.h"
#include "ScriptedSessionGui.h"
#include "SharingTap.h"
#include "viewer/RemoteScreenSurface.h"
#include "imaging/Picture.h"
#include "foundation/SyncEvent.h"
#include "network/ControlMessages.h"
#include "network/ScreenChangeNetMsg.h"
#include "session/TrackingState.h"

namespace session_test {
namespace {

// Alice's screen as 0x00RRGGBB pixels.
std::vector<std::uint32_t> ExactPicture(SIZE size) {
    std::vector<unsigned char> const screen = ScreenScene::Grab(RECT{0, 0, size.cx, size.cy});
    std::vector<std::uint32_t> picture(screen.size() / 3);
    for (std::size_t i = 0; i < picture.size(); ++i) {
        picture[i] = screen[3 * i] | screen[3 * i + 1] << 8 | std::uint32_t(screen[3 * i + 2]) << 16;
    }
    return picture;
}

class Sharing : public TwoPeers {
protected:
    // Bob asks for alice's desktop at `depth` bits, JPEG or not; alice accepts.
    void StartSharing(int depth = 24, bool jpeg = false) {
        bob->config.SessionQuality.ColorDepth.Set(depth);
        bob->config.SessionQuality.UseJpeg.Set(jpeg);
        bob->Gui()->Run("Request remote desktop");
        ASSERT_TRUE(alice->Expect("\"User wants to see your desktop\"")) << alice->Pending();
        alice->Gui()->Run("Accept");
        ASSERT_TRUE(alice->Expect("state TrackingState")) << alice->Pending();
        ASSERT_TRUE(bob->Expect("state DisplayingState")) << bob->Pending();
    }

    std::string StatusValue(std::string const& name) {
        std::string value;
        alice->ContactSession()->ReadState([&](ISessionState* state) {
            std::vector<SessionProperty> lines;
            state->GetStatusProperties(lines);
            for (SessionProperty const& line : lines) {
                if (line.name == name) {
                    value = line.value;
                }
            }
        });
        return value;
    }

    SharingTap* Tap() {
        if (!tap) {
            tap = std::make_unique<SharingTap>(bob->manager->GetControlApplication(),
                                               bob->manager->GetScreenApplication(), aliceHandle);
        }
        return tap.get();
    }

    bool ScreenRebuilt(ScreenScene const& scene) {
        return WaitUntil([&] {
            SIZE size;
            std::vector<unsigned char> rebuilt = Tap()->GetScreen(size);
            return size.cx == scene.GetSize().cx && size.cy == scene.GetSize().cy &&
                   rebuilt == ScreenScene::Grab(RECT{0, 0, size.cx, size.cy});
        });
    }

    void TearDown() override {
        tap.reset();
        if (watching) {
            bob->ContactSession()->RemoteScreenChanged.Remove(MakeDelegate<&Sharing::OnDrawn>(this));
        }
        TwoPeers::TearDown();
    }

    // Bob's picture, as his viewer draws it.
    void WatchBob() {
        bob->ContactSession()->RemoteScreenChanged.Add(MakeDelegate<&Sharing::OnDrawn>(this));
        watching = true;
    }
    void OnDrawn(ISession::RemoteScreenChangeArgs const& args) {
        std::lock_guard<std::mutex> lock(surfaceLock);
        surface = args.surface;
    }
    bool BobSees(std::vector<std::uint32_t> const& expected) {
        std::shared_ptr<RemoteScreenSurface const> drawn;
        {
            std::lock_guard<std::mutex> lock(surfaceLock);
            drawn = surface;
        }
        if (!drawn) {
            return false;
        }
        Picture const picture = drawn->Snapshot();
        std::size_t const pixels = std::size_t(picture.GetWidth()) * picture.GetHeight();
        if (pixels != expected.size() || !picture.GetPixels()) {
            return false;
        }
        for (std::size_t i = 0; i < pixels; ++i) {
            if ((picture.GetPixels()[i] & 0xFFFFFF) != expected[i]) {
                return false;
            }
        }
        return true;
    }

    std::unique_ptr<SharingTap> tap;
    bool watching = false;
    std::mutex surfaceLock;
    std::shared_ptr<RemoteScreenSurface const> surface;
};

TEST_F(Sharing, ChangesInputAndClipboardTravelUntilTheViewerStops) {
    ScreenScene scene;
    ASSERT_TRUE(scene.IsShown());
    Tap();
    StartSharing();
    // Told while the state starts, before the switch is relayed.
    std::vector<std::string> const lines = alice->guis.Log().Records();
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](std::string const& line) {
                               return line.find(
                                          "\"Warning: driver not installed. Please install driver to "
                                          "improve performance.\" red") != std::string::npos;
                           }),
              lines.end());

    // The full frame and the changes after it rebuild the screen exactly, one change at a time.
    ASSERT_TRUE(ScreenRebuilt(scene));
    ASSERT_TRUE(scene.Fill(RECT{40, 30, 240, 130}, RGB(200, 30, 60)));
    ASSERT_TRUE(scene.Fill(RECT{300, 200, 310, 500}, RGB(10, 220, 90)));
    ASSERT_TRUE(ScreenRebuilt(scene));
    EXPECT_GE(Tap()->GetCounts().changes, 2u);
    EXPECT_EQ(Tap()->GetCounts().pictureChanges, 0u);
    EXPECT_EQ(StatusValue("Total frames sent"), std::to_string(Tap()->GetCounts().changes));
    EXPECT_GT(std::stod(StatusValue("FPS")), 0.0);

    // Alice's cursor is reported; bob's mouse moves it.
    SetCursorPos(101, 202);
    EXPECT_TRUE(WaitUntil(
        [&] { return Tap()->GetCounts().lastMouse.x == 101 && Tap()->GetCounts().lastMouse.y == 202; }));
    Session* toAlice = bob->ContactSession();
    ASSERT_TRUE(toAlice->SendNetworkMessage(WindowEventNetMsg(WM_MOUSEMOVE, 0, MAKELPARAM(333, 444))));
    EXPECT_TRUE(WaitUntil([] {
        POINT cursor;
        return GetCursorPos(&cursor) && cursor.x == 333 && cursor.y == 444;
    }));
    EXPECT_TRUE(WaitUntil([&] { return Tap()->GetCounts().lastMouse.x == 333; }));

    // Bob's clipboard lands on alice's and is acknowledged; alice's goes to bob on request.
    SetClipboardText("before");
    ASSERT_TRUE(toAlice->SendNetworkMessage(ClipboardNetMsg(TextPayload("from bob"))));
    EXPECT_TRUE(WaitUntil([&] { return Tap()->GetCounts().acknowledgements == 1; }));
    EXPECT_EQ(ClipboardText(), "from bob");
    SetClipboardText("from alice");
    ASSERT_TRUE(toAlice->SendNetworkMessage(ClipboardRequestNetMsg()));
    ASSERT_TRUE(WaitUntil([&] { return Tap()->GetCounts().clipboards == 1; }));
    std::vector<unsigned char> const payload = Tap()->GetClipboard();
    EXPECT_NE(
        std::search(payload.begin(), payload.end(), std::begin("from alice"), std::end("from alice") - 1),
        payload.end());

    // The viewer stops: alice hears the abort and takes nothing more from the screen.
    bob->Gui()->Run("Stop displaying");
    ASSERT_TRUE(alice->Expect("\"Remote user aborted session.\" red")) << alice->Pending();
    ASSERT_TRUE(alice->Expect("state AvailableState")) << alice->Pending();
    unsigned const changes = Tap()->GetCounts().changes;
    ASSERT_TRUE(scene.Fill(RECT{500, 500, 600, 600}, RGB(250, 250, 0)));
    SetCursorPos(5, 5);
    Sleep(300);  // longer than several tracker passes and mouse polls
    EXPECT_EQ(Tap()->GetCounts().changes, changes);
    EXPECT_NE(Tap()->GetCounts().lastMouse.x, 5);
    // Input from the peer is no longer replayed.
    ASSERT_TRUE(toAlice->SendNetworkMessage(WindowEventNetMsg(WM_MOUSEMOVE, 0, MAKELPARAM(77, 88))));
    ASSERT_TRUE(toAlice->SendNetworkMessage(TestConnectNetMsg("11", true)));
    Sleep(300);
    POINT cursor;
    GetCursorPos(&cursor);
    EXPECT_EQ(cursor.x, 5);
}

// A quality change moves tracking to the new depth; the sharer's own stop ends it, also while
// changes are in flight, again and again.
TEST_F(Sharing, QualityChangeAndStopsWhileChangesFlow) {
    ScreenScene scene;
    Tap();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        StartSharing();
        ASSERT_TRUE(WaitUntil([&] { return Tap()->GetCounts().lastBytesPerPixel == 3; }));
        if (round == 0) {
            SessionQualityConfiguration sixteen({1024, 768}, 16, false, 50);
            ASSERT_TRUE(
                bob->ContactSession()->SendNetworkMessage(ShowMyDesktopNetMsg(sixteen, false, false)));
            ASSERT_TRUE(WaitUntil([&] { return Tap()->GetCounts().lastBytesPerPixel == 2; }));
            EXPECT_TRUE(WaitUntil([&] { return StatusValue("Color depth") == "16 bit"; }));
        }
        // Changes keep coming while alice stops.
        for (int i = 0; i < 5; ++i) {
            scene.Fill(RECT{10 * i, 10, 10 * i + 8, 60}, RGB(40 * i, 100, 200));
        }
        alice->Gui()->Run("Stop sharing desktop");
        ASSERT_TRUE(alice->Expect("state AvailableState")) << alice->Pending();
        ASSERT_TRUE(bob->Expect("\"Remote user aborted session.\" red")) << bob->Pending();
        ASSERT_TRUE(bob->Expect("state AvailableState")) << bob->Pending();
        scene.Reset();
    }
}

// A change the messenger refuses to write does not stop the ones after it.
TEST_F(Sharing, ChangesGoOnAfterAFailedWrite) {
    ScreenScene scene;
    Tap();
    StartSharing();
    ASSERT_TRUE(ScreenRebuilt(scene));
    LogCapture log;
    peers.Simulator().FailCommands(aliceHandle, "ALTER APPLICATION corvane.screen WRITE", "ERROR 999 refused",
                                   1);
    ASSERT_TRUE(scene.Fill(RECT{40, 30, 240, 130}, RGB(200, 30, 60)));
    ASSERT_TRUE(WaitUntil([&] { return log.Contains("Screen change not sent"); }));
    // The refused change goes again by itself, and the changes after it arrive.
    ASSERT_TRUE(scene.Fill(RECT{300, 200, 310, 500}, RGB(10, 220, 90)));
    EXPECT_TRUE(ScreenRebuilt(scene));
}

// With JPEG, bob's picture becomes alice's screen exactly once it holds still. Asking for 8 bits
// with JPEG gets full colour (pictures always go in full colour), so both end at her screen.
TEST_F(Sharing, StillScreenBecomesExactAfterJpeg) {
    ScreenScene scene;
    Tap();
    WatchBob();
    for (int depth : {24, 8}) {
        SCOPED_TRACE(std::to_string(depth) + " bits");
        StartSharing(depth, true);
        // Sharp edges and small details, which JPEG smears.
        for (int i = 0; i < 40; ++i) {
            ASSERT_TRUE(scene.Fill(RECT{20 + 23 * i, 40 + 11 * i, 29 + 23 * i, 47 + 13 * i},
                                   RGB(37 * i % 256, 255 - 19 * i % 256, 91 * i % 256)));
        }
        DWORD const still = GetTickCount();
        std::vector<std::uint32_t> const expected = ExactPicture(scene.GetSize());
        EXPECT_TRUE(WaitUntil([&] { return BobSees(expected); }, 15000));
        std::cout << depth << " bits: exact " << GetTickCount() - still << " ms after the last paint\n";
        EXPECT_GT(Tap()->GetCounts().pictureChanges, 0u) << "JPEG went out first";
        bob->Gui()->Run("Stop displaying");
        ASSERT_TRUE(alice->Expect("state AvailableState")) << alice->Pending();
        ASSERT_TRUE(bob->Expect("state AvailableState")) << bob->Pending();
        scene.Reset();
    }
}

// Alice shares with several viewers at once in one simulator, each at its own quality: bob raw
// over an open link, carol JPEG over an open link, dave JPEG over a slow one.
class SeveralViewers : public ::testing::Test {
protected:
    struct Viewer {
        std::string name;
        int depth;
        bool jpeg;
        int jpegQuality;
        unsigned rate;  // alice's link to the viewer; 0: unlimited
    };

    static std::string Handle(std::string const& name) {
        return name + "." + std::to_string(GetCurrentProcessId());
    }

    SeveralViewers()
        : viewers{{"bob", 24, false, 80, 0}, {"carol", 24, true, 50, 0}, {"dave", 24, true, 80, 4000}},
          peers({Handle("alice"), Handle("bob"), Handle("carol"), Handle("dave")}) {}

    void SetUp() override {
        alice = std::make_unique<Side>(peers, Handle("alice"), Handle("bob"));
        for (Viewer const& viewer : viewers) {
            sides.push_back(std::make_unique<Side>(peers, Handle(viewer.name), Handle("alice")));
            if (viewer.rate) {
                peers.Simulator().SetRateTo(Handle("alice"), Handle(viewer.name), viewer.rate);
            }
        }
        ASSERT_TRUE(peers.Attach(Handle("alice")));
        for (auto const& side : sides) {
            ASSERT_TRUE(peers.Attach(side->handle));
            ASSERT_TRUE(side->Expect("state AvailableState")) << side->Pending();
        }
        for (auto const& side : sides) {
            ASSERT_TRUE(AliceLogged(side->handle, "state AvailableState")) << alice->Pending();
        }
    }

    void TearDown() override {
        taps.clear();
        sides.clear();
        alice.reset();
    }

    // A line of alice's session with `contact` that holds `text`, anywhere in her log.
    bool AliceLogged(std::string const& contact, std::string const& text) {
        return WaitUntil([&] {
            std::vector<std::string> const lines = alice->guis.Log().Records();
            return std::any_of(lines.begin(), lines.end(), [&](std::string const& line) {
                return line.compare(0, contact.size() + 2, contact + ": ") == 0 &&
                       line.find(text) != std::string::npos;
            });
        });
    }

    // Each viewer asks at its quality, alice accepts, and a tap beside the viewer reads it all.
    void StartAll() {
        for (std::size_t i = 0; i < viewers.size(); ++i) {
            Side& side = *sides[i];
            taps.push_back(std::make_unique<SharingTap>(side.manager->GetControlApplication(),
                                                        side.manager->GetScreenApplication(), alice->handle));
            side.config.SessionQuality.ColorDepth.Set(viewers[i].depth);
            side.config.SessionQuality.UseJpeg.Set(viewers[i].jpeg);
            side.config.SessionQuality.JpegQuality.Set(viewers[i].jpegQuality);
            side.Gui()->Run("Request remote desktop");
            ASSERT_TRUE(AliceLogged(side.handle, "\"User wants to see your desktop\"")) << alice->Pending();
            alice->guis.Gui(side.handle)->Run("Accept");
            ASSERT_TRUE(side.Expect("state DisplayingState")) << side.Pending();
        }
    }

    bool Rebuilt(std::size_t viewer, ScreenScene const& scene) {
        SIZE size;
        std::vector<unsigned char> const rebuilt = taps[viewer]->GetScreen(size);
        return size.cx == scene.GetSize().cx && size.cy == scene.GetSize().cy &&
               rebuilt == ScreenScene::Grab(RECT{0, 0, size.cx, size.cy});
    }

    std::vector<Viewer> const viewers;
    SimulatedPeers peers;
    std::unique_ptr<Side> alice;
    std::vector<std::unique_ptr<Side>> sides;
    std::vector<std::unique_ptr<SharingTap>> taps;
};

// The slow viewer does not hold back the others, and every picture becomes alice's screen
// exactly once it holds still (the JPEG ones through their own refinement).
TEST_F(SeveralViewers, SlowViewerHoldsBackNoOtherAndAllEndExact) {
    ScreenScene scene;
    ASSERT_TRUE(scene.IsShown());
    StartAll();
    for (std::size_t i = 0; i < viewers.size(); ++i) {
        EXPECT_TRUE(WaitUntil([&] { return Rebuilt(i, scene); }, 30000))
            << viewers[i].name << " at the start";
    }
    std::vector<unsigned> before;
    for (auto const& tap : taps) {
        before.push_back(tap->GetCounts().changes);
    }
    int const rounds = 30;
    DWORD const start = GetTickCount();
    for (int round = 0; round < rounds; ++round) {
        ASSERT_TRUE(
            scene.Fill(RECT{100, 100, 500, 400}, RGB(round * 8, 255 - round * 8, round % 2 ? 40 : 200)));
        ASSERT_TRUE(scene.Fill(RECT{20 + 30 * round, 600, 40 + 30 * round, 640}, RGB(250, 250, round * 8)));
    }
    std::vector<unsigned> during;
    for (std::size_t i = 0; i < taps.size(); ++i) {
        during.push_back(taps[i]->GetCounts().changes - before[i]);
    }
    std::cout << "changes while painting " << rounds << " rounds in " << GetTickCount() - start << " ms: bob "
              << during[0] << ", carol " << during[1] << ", dave " << during[2] << "\n";
    // Carol's pictures cost alice and her tap far more than bob's raw changes in this process.
    EXPECT_GE(during[0], unsigned(rounds / 3)) << "bob keeps up with the paints";
    EXPECT_GT(during[0], 2 * during[2]) << "dave is slower, and alone";
    EXPECT_GT(during[1], during[2]) << "carol is not held to dave's pace";
    for (std::size_t i = 0; i < viewers.size(); ++i) {
        EXPECT_TRUE(WaitUntil([&] { return Rebuilt(i, scene); }, 30000)) << viewers[i].name << " once still";
    }
    EXPECT_GT(taps[1]->GetCounts().pictureChanges, 0u);
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
