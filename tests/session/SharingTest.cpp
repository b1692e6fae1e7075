// The sharing side: alice shares her screen with bob inside one simulator, and a tap beside
// bob's session reads what she sends.
#include <windows.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <memory>

#include <mutex>

#include "LogCapture.h"
#include "ScreenScene.h"
#include "SessionTestSupport.h"
#include "SharingTap.h"
#include "viewer/RemoteScreenSurface.h"
#include "imaging/Picture.h"
#include "network/ControlMessages.h"
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
