// The sharer's say over control: alice shares with bob view-only or with control, gives and
// takes back control while sharing; bob's input and clipboard reach her machine only while he
// has it, and she hears of his first try without it.
#include <windows.h>

#include <algorithm>
#include <memory>

#include "LogCapture.h"
#include "SessionTestSupport.h"
#include "SharingTap.h"
#include "network/ControlMessages.h"
#include "session/ISessionState.h"

namespace session_test {
namespace {

std::string const kRefused =
    "\"Remote user tried to control your desktop, which is shared for viewing only.\" red";

enum class Said { Nothing, Allowed, Denied };
enum class Start { BobRequests, AliceOffers };

bool CursorAt(int x, int y) {
    POINT cursor;
    return GetCursorPos(&cursor) && cursor.x == x && cursor.y == y;
}

class ViewerControl : public TwoPeers {
protected:
    // Alice says `said` (when she says anything) just before her choice starts the sharing.
    void StartSharing(Start start, Said said) {
        Session* toBob = alice->ContactSession();
        if (start == Start::BobRequests) {
            bob->Gui()->Run("Request remote desktop");
            ASSERT_TRUE(alice->Expect("\"User wants to see your desktop\"")) << alice->Pending();
            Say(toBob, said);
            alice->Gui()->Run("Accept");
        } else {
            Say(toBob, said);
            alice->Gui()->Run("Share my desktop");
            ASSERT_TRUE(bob->Expect("\"User wants you to see remote desktop")) << bob->Pending();
            bob->Gui()->Run("Accept");
        }
        ASSERT_TRUE(alice->Expect("state TrackingState")) << alice->Pending();
        ASSERT_TRUE(bob->Expect("state DisplayingState")) << bob->Pending();
    }

    void StopSharing() {
        alice->Gui()->Run("Stop sharing desktop");
        ASSERT_TRUE(alice->Expect("state AvailableState")) << alice->Pending();
        ASSERT_TRUE(bob->Expect("state AvailableState")) << bob->Pending();
    }

    static void Say(Session* session, Said said) {
        if (said != Said::Nothing) {
            session->SetViewerControl(said == Said::Allowed);
        }
    }

    // Alice's "Viewer has control" line and her control operation ("Give control" or "Take
    // back control"), read together.
    std::string ControlShown() {
        std::string shown;
        alice->ContactSession()->ReadState([&](ISessionState* state) {
            std::vector<SessionProperty> lines;
            state->GetStatusProperties(lines);
            for (SessionProperty const& line : lines) {
                if (line.group == "Sharing" && line.name == "Viewer has control") {
                    shown = line.value;
                }
            }
            std::vector<ISessionState::AvailableOperation> operations;
            state->GetAvailableOperations(operations);
            for (auto const& operation : operations) {
                if (operation.name.find("control") != std::string::npos) {
                    shown += " / " + operation.name;
                }
            }
        });
        return shown;
    }

    SharingTap& Tap() {
        if (!tap) {
            tap = std::make_unique<SharingTap>(bob->manager->GetControlApplication(),
                                               bob->manager->GetScreenApplication(), aliceHandle);
        }
        return *tap;
    }

    void Send(NetworkMessage const& message) {
        ASSERT_TRUE(bob->ContactSession()->SendNetworkMessage(message));
    }

    // Bob asks for alice's clipboard and gets it: everything he sent before has been handled,
    // since one channel carries it all in order.
    bool BobGetsTheClipboard() {
        unsigned const before = Tap().GetCounts().clipboards;
        Send(ClipboardRequestNetMsg());
        return WaitUntil([&] { return Tap().GetCounts().clipboards == before + 1; });
    }

    int RefusalsShown() const {
        std::vector<std::string> const lines = alice->guis.Log().Records();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [](std::string const& line) {
            return line.find(kRefused) != std::string::npos;
        }));
    }

    void TearDown() override {
        tap.reset();
        TwoPeers::TearDown();
    }

    std::unique_ptr<SharingTap> tap;
};

TEST_F(ViewerControl, ViewOnlyDropsInputAndClipboardUntilControlIsGivenAndAgainWhenTakenBack) {
    LogCapture log;
    Tap();
    StartSharing(Start::BobRequests, Said::Denied);
    EXPECT_EQ(ControlShown(), "No / Give control");

    // Bob moves, clicks and pastes twice: nothing reaches alice's machine, he gets no
    // acknowledgement, and alice hears of it once. Her clipboard still goes to him.
    SetCursorPos(5, 5);
    SetClipboardText("alice's");
    for (int i = 0; i < 2; ++i) {
        Send(WindowEventNetMsg(WM_MOUSEMOVE, 0, MAKELPARAM(333, 444)));
        Send(WindowEventNetMsg(WM_LBUTTONDOWN, 0, 0));
        Send(ClipboardNetMsg(TextPayload("from bob")));
    }
    ASSERT_TRUE(BobGetsTheClipboard());
    std::vector<unsigned char> const served = Tap().GetClipboard();
    EXPECT_NE(std::search(served.begin(), served.end(), std::begin("alice's"), std::end("alice's") - 1),
              served.end());
    EXPECT_TRUE(CursorAt(5, 5));
    EXPECT_EQ(ClipboardText(), "alice's");
    EXPECT_EQ(Tap().GetCounts().acknowledgements, 0u);
    EXPECT_EQ(RefusalsShown(), 1);
    EXPECT_EQ(log.Count("the viewer has no control"), 1);

    // Alice gives control: his input and clipboard arrive from his next message on.
    alice->Gui()->Run("Give control");
    ASSERT_TRUE(WaitUntil([&] { return ControlShown() == "Yes / Take back control"; })) << ControlShown();
    Send(WindowEventNetMsg(WM_MOUSEMOVE, 0, MAKELPARAM(333, 444)));
    EXPECT_TRUE(WaitUntil([] { return CursorAt(333, 444); }));
    Send(ClipboardNetMsg(TextPayload("from bob")));
    EXPECT_TRUE(WaitUntil([&] { return Tap().GetCounts().acknowledgements == 1; }));
    EXPECT_EQ(ClipboardText(), "from bob");

    // She takes it back, here straight through the session from her own thread: dropped
    // again, and she is not told a second time.
    alice->ContactSession()->SetViewerControl(false);
    EXPECT_EQ(ControlShown(), "No / Give control");
    Send(WindowEventNetMsg(WM_MOUSEMOVE, 0, MAKELPARAM(50, 60)));
    Send(ClipboardNetMsg(TextPayload("bob again")));
    ASSERT_TRUE(BobGetsTheClipboard());
    EXPECT_TRUE(CursorAt(333, 444));
    EXPECT_EQ(ClipboardText(), "from bob");
    EXPECT_EQ(Tap().GetCounts().acknowledgements, 1u);
    EXPECT_EQ(RefusalsShown(), 1);
    EXPECT_EQ(log.Count("the viewer has no control"), 1);
    StopSharing();

    // Her choice was for that sharing: the next one, unsaid, has the configured default, and
    // a new view-only sharing tells her again.
    StartSharing(Start::BobRequests, Said::Nothing);
    EXPECT_EQ(ControlShown(), "Yes / Take back control");
    StopSharing();
    StartSharing(Start::BobRequests, Said::Denied);
    Send(WindowEventNetMsg(WM_MOUSEMOVE, 0, MAKELPARAM(70, 80)));
    ASSERT_TRUE(alice->Expect(kRefused)) << alice->Pending();
    EXPECT_EQ(RefusalsShown(), 2);
}

// What each sharing allows: alice's said choice, else the configuration; the clipboard is
// served by its own setting, control or not. The rows run in order in one session, so each
// starts where the one before left its choice.
TEST_F(ViewerControl, EachSharingTakesTheSaidChoiceElseTheConfiguredOne) {
    struct Row {
        char const* name;
        bool configured;
        Said said;
        Start start;
        bool serveClipboard;
        bool controls;
    };
    Row const rows[] = {
        {"default, asked", true, Said::Nothing, Start::BobRequests, true, true},
        {"configured off, asked", false, Said::Nothing, Start::BobRequests, true, false},
        {"configured off, offered with control", false, Said::Allowed, Start::AliceOffers, true, true},
        {"configured off after a said choice", false, Said::Nothing, Start::AliceOffers, false, false},
        {"view only offered, clipboard not served", true, Said::Denied, Start::AliceOffers, false, false},
        {"default after a view-only one", true, Said::Nothing, Start::AliceOffers, true, true},
    };
    Tap();
    SetClipboardText("alice's");
    int x = 100;
    for (Row const& row : rows) {
        SCOPED_TRACE(row.name);
        alice->config.Sharing.AllowControl.Set(row.configured);
        alice->config.Sharing.ServeClipboard.Set(row.serveClipboard);
        LogCapture log;
        StartSharing(row.start, row.said);
        EXPECT_EQ(ControlShown(), row.controls ? "Yes / Take back control" : "No / Give control");

        x += 10;
        SetCursorPos(5, 5);
        Send(WindowEventNetMsg(WM_MOUSEMOVE, 0, MAKELPARAM(x, 200)));
        if (row.serveClipboard) {
            EXPECT_TRUE(BobGetsTheClipboard());
        } else {
            unsigned const before = Tap().GetCounts().clipboards;
            Send(ClipboardRequestNetMsg());
            EXPECT_TRUE(WaitUntil([&] { return log.Contains("Clipboard not served"); }));
            EXPECT_EQ(Tap().GetCounts().clipboards, before);
        }
        if (row.controls) {
            EXPECT_TRUE(WaitUntil([&] { return CursorAt(x, 200); }));
        } else {
            EXPECT_TRUE(alice->Expect(kRefused)) << alice->Pending();
            EXPECT_TRUE(CursorAt(5, 5));
        }
        StopSharing();
    }
}

}  // namespace
}  // namespace session_test
