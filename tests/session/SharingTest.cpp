// Alice shares her screen with her viewers inside one simulator, a tap beside a viewer's session
// reading what she sends; bob's input and clipboard reach her machine only while he has control.
#include <windows.h>

#include <algorithm>
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
#include "session/ISessionState.h"
#include "session/TrackingState.h"
#include "viewer/RemoteScreenSurface.h"

namespace session_test {
namespace {

// The viewer's picture, as its viewer drew it, is alice's screen pixel for pixel.
bool SeesTheScreen(Side& viewer, ScreenScene const& scene) {
    std::shared_ptr<RemoteScreenSurface const> surface;
    viewer.ContactSession()->ReadState([&](ISessionState* state) {
        auto displaying = dynamic_cast<DisplayingState*>(state);
        surface = displaying ? displaying->GetSurface() : nullptr;
    });
    Picture const picture = surface ? surface->Snapshot() : Picture();
    SIZE const size = scene.GetSize();
    std::vector<unsigned char> const screen = ScreenScene::Grab(RECT{0, 0, size.cx, size.cy});
    bool same = picture.GetPixels() && picture.GetWidth() == size.cx && picture.GetHeight() == size.cy;
    for (std::size_t i = 0; same && i < screen.size() / 3; ++i) {
        same = (picture.GetPixels()[i] & 0xFFFFFF) ==
               (screen[3 * i] | screen[3 * i + 1] << 8 | std::uint32_t(screen[3 * i + 2]) << 16);
    }
    return same;
}

using Sharing = AliceAndContacts;

// Bob views at 24 bits without JPEG; alice, without the driver, is warned. His picture is her
// screen exactly, also after a change the messenger refused to write; a quality change moves
// tracking to the new depth, and her own stop ends it, also while changes are in flight.
TEST_F(Sharing, ChangesGoOnAfterAFailedWriteAndStopsEndThemInFlight) {
    ScreenScene scene;
    ASSERT_TRUE(scene.IsShown());
    auto rebuilt = [&] { return WaitUntil([&] { return SeesTheScreen(*bob, scene); }); };
    bob->config.SessionQuality.ColorDepth.Set(24);
    bob->config.SessionQuality.UseJpeg.Set(false);
    Tap();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        Views('B');
        ASSERT_TRUE(WaitUntil([&] { return Tap().GetCounts().lastBytesPerPixel == 3; }));
        if (round == 0) {
            alice->cursor = 0;  // told while the state starts, before the switch is relayed
            EXPECT_TRUE(alice->Expect(
                "\"Warning: driver not installed. Please install driver to improve performance.\" red"))
                << alice->Pending();
            ASSERT_TRUE(rebuilt());
            EXPECT_EQ(AliceStatus("Total frames sent"), std::to_string(Tap().GetCounts().changes));
            LogCapture log;
            peers.Simulator().FailCommands(aliceHandle, "ALTER APPLICATION corvane.screen WRITE",
                                           "ERROR 999 refused", 1);
            ASSERT_TRUE(scene.Fill(RECT{40, 30, 240, 130}, RGB(200, 30, 60)));
            ASSERT_TRUE(WaitUntil([&] { return log.Contains("Screen change not sent"); }));
            // The refused change goes again by itself, and the changes after it arrive.
            ASSERT_TRUE(scene.Fill(RECT{300, 200, 310, 500}, RGB(10, 220, 90)));
            EXPECT_TRUE(rebuilt());
            EXPECT_GT(std::stod(AliceStatus("FPS")), 0.0);
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

struct SeveralViewers : AliceAndContacts {
    SeveralViewers() : AliceAndContacts({"bob", "carol", "dave"}) {}
};

// Bob raw and carol JPEG over open links, dave JPEG over a slow one, a tap beside each: the slow
// viewer holds back no other, and every picture becomes alice's screen exactly once it holds
// still (the JPEG ones by their own refinement; carol's 8 bits with JPEG get full colour).
TEST_F(SeveralViewers, SlowViewerHoldsBackNoOtherAndAllEndExact) {
    peers.Simulator().SetRateTo(aliceHandle, Handle("dave"), 4000);
    ScreenScene scene;
    ASSERT_TRUE(scene.IsShown());
    std::vector<std::unique_ptr<SharingTap>> taps;
    std::vector<unsigned> during;
    for (std::size_t i = 0; i < contacts.size(); ++i) {
        Side& side = *contacts[i];
        taps.push_back(std::make_unique<SharingTap>(side.manager->GetControlApplication(),
                                                    side.manager->GetScreenApplication(), aliceHandle));
        side.config.SessionQuality.ColorDepth.Set(i == 1 ? 8 : 24);
        side.config.SessionQuality.UseJpeg.Set(i > 0);
        side.config.SessionQuality.JpegQuality.Set(i == 1 ? 50 : 80);
        side.Gui()->Run("Request remote desktop");
        ASSERT_TRUE(alice->ExpectFrom(side.handle, "\"User wants to see your desktop\"")) << alice->Pending();
        alice->guis.Gui(side.handle)->Run("Accept");
        ASSERT_TRUE(side.Expect("state DisplayingState")) << side.Pending();
    }
    for (std::size_t i = 0; i < taps.size(); ++i) {
        EXPECT_TRUE(WaitUntil([&] { return SeesTheScreen(*contacts[i], scene); }, 30000)) << names[i];
        during.push_back(taps[i]->GetCounts().changes);
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
        EXPECT_TRUE(WaitUntil([&] { return SeesTheScreen(*contacts[i], scene); }, 30000)) << names[i];
    }
    EXPECT_GT(taps[1]->GetCounts().pictureChanges, 0u) << "carol's JPEG went out first";
    EXPECT_EQ(taps[0]->GetCounts().pictureChanges, 0u);
}

// A sharing session without a peer: it counts the screen changes written and, while held,
// blocks in the write as a stalled messenger would. The calling thread plays "SkypeEvent".
struct WriteCountingSession : NullSession {
    explicit WriteCountingSession(bool held_) : held(held_), gui(this, [](std::string const&) {}) {}
    bool SendNetworkMessage(NetworkMessage const& message) override {
        if (dynamic_cast<ScreenChangeNetMsg const*>(&message)) {
            blocked = blocked || held;
            if (held) {
                release.Wait(kWait * 2);
            }
            ++changes;
        }
        return true;
    }
    Configuration* GetConfig() override { return &config; }
    ISessionGui* GetGui() override { return &gui; }

    std::atomic<bool> held;
    std::atomic<bool> blocked{false};
    std::atomic<unsigned> changes{0};
    SyncEvent release;
    Configuration config;
    ScriptedSessionGui gui;
};

// A viewer whose write stalls holds back neither the tracker nor another viewer's changes.
TEST(TrackingSender, StalledWriteHoldsBackNoOtherViewer) {
    ScreenScene scene;
    ASSERT_TRUE(scene.IsShown());
    SessionQualityConfiguration const quality({scene.GetSize().cx, scene.GetSize().cy}, 24, false, 80);
    WriteCountingSession stalled(true);
    WriteCountingSession open(false);
    TrackingState stalledState(quality);
    TrackingState openState(quality);
    stalledState.SetupNewState(&stalled);
    openState.SetupNewState(&open);
    stalledState.OnStarted();  // the first to subscribe: the first called with each change
    openState.OnStarted();
    EXPECT_TRUE(WaitUntil([&] { return stalled.blocked && open.changes > 0; }));
    openState.OnSendingFinished();
    ASSERT_TRUE(scene.Fill(RECT{50, 50, 80, 80}, RGB(200, 40, 90)));
    EXPECT_TRUE(WaitUntil([&] { return open.changes > 1; })) << "a change after the first frame";
    stalled.held = false;
    stalled.release.Set();
}

TEST(TrackingQuality, AutomaticJpegTableAndBytesPerPixel) {
    // configured, automatic, JPEG, changes, send rate: the quality chosen
    int const rows[][6] = {{80, 1, 1, 2, 100, 80},   {80, 1, 1, 3, 4999, 20},  {80, 1, 1, 3, 5000, 30},
                           {80, 1, 1, 3, 39999, 40}, {80, 1, 1, 3, 69999, 50}, {80, 1, 1, 3, 70000, 80},
                           {25, 1, 1, 3, 60000, 25}, {80, 0, 1, 3, 100, 80},   {80, 1, 0, 3, 100, 80}};
    for (auto const& row : rows) {
        SessionQualityConfiguration quality({1024, 768}, 24, row[2] != 0, row[0]);
        quality.AutoJpegQuality.Set(row[1]);
        EXPECT_EQ(TrackingState::ChooseJpegQuality(quality, row[3], row[4]), row[5])
            << row[3] << " at " << row[4];
    }
    int const depths[][2] = {{1, 3}, {4, 3}, {8, 1}, {16, 2}, {24, 3}, {32, 4}};
    for (auto const& depth : depths) {
        EXPECT_EQ(TrackingState::BytesPerPixel(depth[0]), depth[1]) << depth[0];
    }
}

std::string const kRefused =
    "\"Remote user tried to control your desktop, which is shared for viewing only.\" red";

enum class Said { Nothing, Allowed, Denied };
enum class Start { BobRequests, AliceOffers };

class ViewerControl : public AliceAndContacts {
protected:
    // Alice says `said` (when she says anything) just before her choice starts the sharing.
    void StartSharing(Start start, Said said) {
        if (start == Start::BobRequests) {
            ASSERT_NO_FATAL_FAILURE(
                Steps({"B> Request remote desktop", "A? \"User wants to see your desktop\""}));
        }
        if (said != Said::Nothing) {
            alice->ContactSession()->SetViewerControl(said == Said::Allowed);
        }
        ASSERT_NO_FATAL_FAILURE(
            start == Start::BobRequests
                ? Steps({"A> Accept"})
                : Steps({"A> Share my desktop", "B? \"User wants you to see remote desktop", "B> Accept"}));
        ASSERT_NO_FATAL_FAILURE(Steps({"A? state TrackingState", "B? state DisplayingState"}));
    }

    // Alice's "Viewer has control" line and her control operation, read together.
    std::string ControlShown() {
        std::string shown = AliceStatus("Viewer has control");
        alice->ContactSession()->ReadState([&](ISessionState* state) {
            std::vector<ISessionState::AvailableOperation> operations;
            state->GetAvailableOperations(operations);
            for (auto const& operation : operations) {
                shown += operation.name.find("control") != std::string::npos ? " / " + operation.name : "";
            }
        });
        return shown;
    }

    int RefusalsShown() const {
        std::vector<std::string> const lines = alice->guis.Log().Records();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [](std::string const& line) {
            return line.find(kRefused) != std::string::npos;
        }));
    }

    // Bob moves twice and pastes, then asks for alice's clipboard: one channel carries it all
    // in order, so once he has it (or she logged that she does not serve it) all was handled.
    void BobTries(bool controls, bool served, int x) {
        SetCursorPos(5, 5);
        SetClipboardText("alice's");
        SharingTap::Counts const before = Tap().GetCounts();
        std::size_t const bobsLines = bob->cursor;
        LogCapture log;
        FromBob(WindowEventNetMsg(WM_MOUSEMOVE, 0, MAKELPARAM(x, 200)));
        FromBob(WindowEventNetMsg(WM_MOUSEMOVE, 0, MAKELPARAM(x + 1, 201)));
        FromBob(ClipboardNetMsg(TextPayload("from bob")));
        FromBob(ClipboardRequestNetMsg());
        std::string const hers = controls ? "from bob" : "alice's";  // after his paste
        if (served) {
            ASSERT_TRUE(WaitUntil([&] { return Tap().GetCounts().clipboards == before.clipboards + 1; }));
            std::vector<unsigned char> const payload = Tap().GetClipboard();
            EXPECT_NE(std::search(payload.begin(), payload.end(), hers.begin(), hers.end()), payload.end());
            EXPECT_TRUE(bob->Expect("clipboard-received")) << bob->Pending();
        } else {
            ASSERT_TRUE(WaitUntil([&] { return log.Contains("Clipboard not served"); }));
            EXPECT_EQ(Tap().GetCounts().clipboards, before.clipboards);
        }
        EXPECT_EQ(ClipboardText(), hers);
        EXPECT_TRUE(WaitUntil([&] { return CursorAt(controls ? x + 1 : 5, controls ? 201 : 5); }));
        EXPECT_TRUE(WaitUntil([&] {
            return Tap().GetCounts().acknowledgements == before.acknowledgements + (controls ? 1 : 0);
        }));
        bob->cursor = bobsLines;  // his paste was acknowledged before alice's clipboard came
        EXPECT_EQ(bob->Expect("clipboard-delivered", controls ? kWait : 10), controls) << bob->Pending();
    }
};

// What each sharing allows: alice's said choice, else the configuration; she may give control
// and take it back while sharing; the clipboard is served by its own setting, control or not.
// The rows run in order in one session, so each starts where the one before left her choice.
TEST_F(ViewerControl, EachSharingTakesTheSaidChoiceElseTheConfiguredOne) {
    struct Row {
        char const* name;
        bool configured;
        Said said;
        Start start;
        bool serveClipboard;
        bool controls;
        bool turned;   // alice turns control over while sharing, and bob tries again
        int refusals;  // notes she sees during the sharing
    };
    Row const rows[] = {
        {"view only, given later", true, Said::Denied, Start::BobRequests, true, false, true, 1},
        {"default, taken back", true, Said::Nothing, Start::BobRequests, true, true, true, 1},
        {"off, offered with control", false, Said::Allowed, Start::AliceOffers, true, true, false, 0},
        {"off after a said choice", false, Said::Nothing, Start::AliceOffers, false, false, false, 1},
        {"view only offered, not served", true, Said::Denied, Start::AliceOffers, false, false, false, 1},
        {"default after a view-only one", true, Said::Nothing, Start::AliceOffers, true, true, false, 0},
    };
    Tap();
    int x = 100;
    for (Row const& row : rows) {
        SCOPED_TRACE(row.name);
        alice->config.Sharing.AllowControl.Set(row.configured);
        alice->config.Sharing.ServeClipboard.Set(row.serveClipboard);
        int const refusals = RefusalsShown();
        StartSharing(row.start, row.said);
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_EQ(ControlShown(), row.controls ? "Yes / Take back control" : "No / Give control");
        BobTries(row.controls, row.serveClipboard, x += 10);
        if (row.turned) {
            if (row.controls) {
                alice->ContactSession()->SetViewerControl(false);
                EXPECT_EQ(ControlShown(), "No / Give control");
            } else {
                alice->Gui()->Run("Give control");
                EXPECT_TRUE(WaitUntil([&] { return ControlShown() == "Yes / Take back control"; }))
                    << ControlShown();
            }
            BobTries(!row.controls, row.serveClipboard, x += 10);
        }
        EXPECT_EQ(RefusalsShown(), refusals + row.refusals);
        AliceStopsSharing();
    }
}

}  // namespace
}  // namespace session_test
