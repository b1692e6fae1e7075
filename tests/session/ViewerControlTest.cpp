// The sharer's say over control: alice shares with bob view-only or with control, gives and
// takes back control while sharing; bob's input and clipboard reach her machine only while he
// has it, and she hears once a sharing of his first try without it.
#include <windows.h>

#include <algorithm>

#include "LogCapture.h"
#include "SessionTestSupport.h"
#include "network/ControlMessages.h"
#include "session/ISessionState.h"

namespace session_test {
namespace {

std::string const kRefused =
    "\"Remote user tried to control your desktop, which is shared for viewing only.\" red";

enum class Said { Nothing, Allowed, Denied };
enum class Start { BobRequests, AliceOffers };

class ViewerControl : public AliceAndContacts {
protected:
    // Alice says `said` (when she says anything) just before her choice starts the sharing.
    void StartSharing(Start start, Said said) {
        if (start == Start::BobRequests) {
            bob->Gui()->Run("Request remote desktop");
            ASSERT_TRUE(alice->Expect("\"User wants to see your desktop\"")) << alice->Pending();
        }
        if (said != Said::Nothing) {
            alice->ContactSession()->SetViewerControl(said == Said::Allowed);
        }
        alice->Gui()->Run(start == Start::BobRequests ? "Accept" : "Share my desktop");
        if (start == Start::AliceOffers) {
            ASSERT_TRUE(bob->Expect("\"User wants you to see remote desktop")) << bob->Pending();
            bob->Gui()->Run("Accept");
        }
        ASSERT_TRUE(alice->Expect("state TrackingState")) << alice->Pending();
        ASSERT_TRUE(bob->Expect("state DisplayingState")) << bob->Pending();
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
        int const refusals = RefusalsShown();
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
        EXPECT_LE(RefusalsShown(), refusals + 1) << "told once";
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
        {"view only asked, control given later", true, Said::Denied, Start::BobRequests, true, false, true,
         1},
        {"default asked, taken back from her own thread", true, Said::Nothing, Start::BobRequests, true, true,
         true, 1},
        {"configured off, asked", false, Said::Nothing, Start::BobRequests, true, false, false, 1},
        {"configured off, offered with control", false, Said::Allowed, Start::AliceOffers, true, true, false,
         0},
        {"configured off after a said choice", false, Said::Nothing, Start::AliceOffers, false, false, false,
         1},
        {"view only offered, clipboard not served", true, Said::Denied, Start::AliceOffers, false, false,
         false, 1},
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
