// What a peer can make alice's session do: every state against every message bob can send,
// checked against the session table. Viewing, sharing, input and clipboard only ever follow
// alice's choice.
#include <windows.h>

#include <cstring>
#include <map>
#include <sstream>
#include <memory>

#include "LogCapture.h"
#include "SessionTestSupport.h"
#include "codec/ScreenEncoder.h"
#include "network/ControlMessages.h"
#include "session/ISessionState.h"
#include "session/SessionTable.h"

namespace session_test {
namespace {

using State = SessionTable::State;
using Peer = SessionTable::Peer;
using Next = SessionTable::Next;

// One message of each kind, as bob would send it.
std::unique_ptr<NetworkMessage> MessageOf(Peer kind) {
    SessionQualityConfiguration const quality({800, 600}, 24, false, 50);
    switch (kind) {
        case Peer::Discovery:
            return std::make_unique<DiscoveryNetMsg>();
        case Peer::Request:
            return std::make_unique<RequestRemoteDesktopNetMsg>(true, quality);
        case Peer::Allowed:
        case Peer::OtherAnswer:
        case Peer::Abort: {
            auto answer = std::make_unique<RequestRemoteDesktopNetMsg>();
            kind == Peer::Abort ? answer->SetAbort(true) : answer->SetResponse(kind == Peer::Allowed);
            return answer;
        }
        case Peer::Offer:
        case Peer::OfferAccepted:
        case Peer::OfferWithdrawn:
            return std::make_unique<ShowMyDesktopNetMsg>(quality, kind == Peer::OfferAccepted,
                                                         kind == Peer::OfferWithdrawn);
        case Peer::ResolutionQuery:
            return std::make_unique<DesktopResolutionMsg>();
        case Peer::ResolutionReply:
            return std::make_unique<DesktopResolutionMsg>(tagSIZE{640, 480});
        case Peer::Test:
        case Peer::TestAnswer:
            return std::make_unique<TestConnectNetMsg>("11", kind == Peer::TestAnswer);
        case Peer::ScreenChange: {
            unsigned char packet[4 + 8 + 12] = {1};
            std::uint16_t const edges[4] = {0, 0, 2, 2};
            std::memcpy(packet + 4, edges, sizeof edges);
            return std::make_unique<ScreenChangeNetMsg>(ScreenEncoder::Encode(
                packet, sizeof packet, tagSIZE{800, 600}, 0, ScreenEncoder::Settings()));
        }
        case Peer::MouseMove:
            return std::make_unique<MouseMoveNetMsg>(tagPOINT{7, 9});
        case Peer::Input:
            return std::make_unique<WindowEventNetMsg>(WM_MOUSEMOVE, 0, MAKELPARAM(321, 654));
        case Peer::Clipboard:
            return std::make_unique<ClipboardNetMsg>(TextPayload("from the peer"));
        case Peer::ClipboardRequest:
            return std::make_unique<ClipboardRequestNetMsg>();
        case Peer::ClipboardAcknowledge:
            return std::make_unique<ClipboardAcknowledgeNetMsg>();
        default:
            return nullptr;
    }
}

// The class alice's session shows for each outcome; a state shows the one of the same name.
std::string ClassOf(Next next) {
    std::istringstream names(
        "- - Initial Available WaitingConfirmation WaitingConfirmation "
        "RequestConfirmation SharingConfirmation Displaying Tracking");
    std::string name;
    for (int i = 0; i <= static_cast<int>(next); ++i) {
        names >> name;
    }
    return name + "State";
}
static_assert(int(Next::Tracking) - int(Next::Initial) == int(State::Tracking) - int(State::Initial));
std::string ClassOf(State state) {
    return ClassOf(static_cast<Next>(int(state) - int(State::Initial) + int(Next::Initial)));
}

bool Working(State state) {
    return state == State::Displaying || state == State::Tracking;
}

// The table itself: only our own choice leads into viewing or sharing, what a peer sends there
// reaches nothing else, and a lost channel always leads back to Initial.
TEST(SessionTableRules, OnlyOurChoiceStartsViewingOrSharing) {
    for (int s = 0; s < static_cast<int>(State::Count); ++s) {
        State const state = static_cast<State>(s);
        for (int m = 0; m < static_cast<int>(Peer::Count); ++m) {
            Peer const kind = static_cast<Peer>(m);
            SCOPED_TRACE(std::string(SessionTable::NameOf(state)) + " / " + SessionTable::NameOf(kind));
            Next const next = SessionTable::Lookup(state, kind);
            EXPECT_TRUE(next != Next::Displaying ||
                        (state == State::WaitingForRequestAnswer && kind == Peer::Allowed));
            EXPECT_TRUE(next != Next::Tracking ||
                        (state == State::WaitingForOfferAnswer && kind == Peer::OfferAccepted));
            EXPECT_TRUE(kind < Peer::ScreenChange || Working(state) || next == Next::Ignored);
        }
        for (int e = 0; e < static_cast<int>(SessionTable::Local::Count); ++e) {
            SessionTable::Local const event = static_cast<SessionTable::Local>(e);
            SCOPED_TRACE(std::string(SessionTable::NameOf(state)) + " / our " + SessionTable::NameOf(event));
            Next const next = SessionTable::Lookup(state, event);
            EXPECT_TRUE(next != Next::Displaying ||
                        (event == SessionTable::Local::Accept && state == State::SharingConfirmation));
            EXPECT_TRUE(next != Next::Tracking ||
                        (event == SessionTable::Local::Accept && state == State::RequestConfirmation));
        }
        EXPECT_EQ(SessionTable::Lookup(state, SessionTable::Local::ConnectFailure), Next::Initial);
    }
}

class Consent : public AliceAndContacts {
protected:
    void Send(Peer kind) { FromBob(*MessageOf(kind)); }

    void Run(std::string const& operation, std::string const& next) {
        alice->Gui()->Run(operation);
        ASSERT_TRUE(alice->Expect("state " + next)) << operation << "\n" << alice->Pending();
    }

    // Alice's own choices (and bob's questions) that lead into `state`.
    void Enter(State state) {
        switch (state) {
            case State::Available:
                return;
            case State::WaitingForRequestAnswer:
                return Run("Request remote desktop", "WaitingConfirmationState");
            case State::WaitingForOfferAnswer:
                return Run("Share my desktop", "WaitingConfirmationState");
            case State::RequestConfirmation:
            case State::SharingConfirmation:
                Send(state == State::RequestConfirmation ? Peer::Request : Peer::Offer);
                ASSERT_TRUE(alice->Expect(std::string("state ") + ClassOf(state))) << alice->Pending();
                return;
            case State::Displaying:
                Enter(State::WaitingForRequestAnswer);
                Send(Peer::Allowed);
                ASSERT_TRUE(alice->Expect("state DisplayingState")) << alice->Pending();
                return;
            case State::Tracking:
                Enter(State::RequestConfirmation);
                return Run("Accept", "TrackingState");
            default:
                FAIL() << "no way into " << SessionTable::NameOf(state);
        }
    }

    // Alice's own way back from the state of `stateClass`.
    void Leave(std::string const& stateClass) {
        static std::map<std::string, std::string> const kOperations = {
            {"WaitingConfirmationState", "Cancel"},
            {"RequestConfirmationState", "Decline"},
            {"SharingConfirmationState", "Decline"},
            {"DisplayingState", "Stop displaying"},
            {"TrackingState", "Stop sharing desktop"}};
        auto found = kOperations.find(stateClass);
        if (found != kOperations.end()) {
            Run(found->second, "AvailableState");
        }
    }

    // Sends every message the state ignores or handles in place, one after the other; the
    // ignored ones are seen dropped, and alice stays where she is.
    void SendThoseThatKeepTheState(State state) {
        LogCapture log;
        for (int m = 0; m < static_cast<int>(Peer::Count); ++m) {
            Peer const kind = static_cast<Peer>(m);
            Next const next = SessionTable::Lookup(state, kind);
            if (next != Next::Ignored && next != Next::Stays) {
                continue;
            }
            SCOPED_TRACE(SessionTable::NameOf(kind));
            Send(kind);
            if (next == Next::Ignored) {
                std::string const line = std::string("Ignored ") + SessionTable::NameOf(kind) +
                                         " from the peer in " + SessionTable::NameOf(state);
                EXPECT_TRUE(WaitUntil([&] { return log.Contains(line); })) << line;
            }
        }
        // A last test answer, which no state acts on: once it arrived, all before it was handled.
        FromBob(TestConnectNetMsg("last", true));
        EXPECT_TRUE(WaitUntil([&] { return log.Contains("NET RECV MSG (TestConnectNetMsg): last"); }));
        EXPECT_FALSE(alice->Expect("state ", 300)) << alice->Pending();
    }
};

// Every state against every message: the next state is the table's, nothing else moves; bob's
// input and clipboard reach alice only while she shares (his clipboard while she views too).
TEST_F(Consent, EveryStateAgainstEveryPeerMessage) {
    Tap();
    for (int s = static_cast<int>(State::Available); s < static_cast<int>(State::Count); ++s) {
        State const state = static_cast<State>(s);
        SCOPED_TRACE(SessionTable::NameOf(state));
        SetCursorPos(11, 22);
        SetClipboardText("alice's own");
        Enter(state);
        ASSERT_FALSE(HasFatalFailure());
        SendThoseThatKeepTheState(state);
        EXPECT_EQ(CursorAt(321, 654), state == State::Tracking);
        EXPECT_EQ(ClipboardText() == "from the peer", Working(state));
        EXPECT_EQ(Tap().GetCounts().clipboards > 0, state == State::Tracking);
        Leave(ClassOf(state));
        ASSERT_FALSE(HasFatalFailure());
        for (int m = 0; m < static_cast<int>(Peer::Count); ++m) {
            Peer const kind = static_cast<Peer>(m);
            Next const next = SessionTable::Lookup(state, kind);
            if (next == Next::Ignored || next == Next::Stays) {
                continue;
            }
            SCOPED_TRACE(SessionTable::NameOf(kind));
            Enter(state);
            Send(kind);
            ASSERT_TRUE(alice->Expect(std::string("state ") + ClassOf(next))) << alice->Pending();
            Leave(ClassOf(next));
            ASSERT_FALSE(HasFatalFailure());
        }
    }
    // Alice never shared on her own: the only changes bob saw are from her Tracking rows.
    EXPECT_GT(Tap().GetCounts().changes, 0u);
}

}  // namespace
}  // namespace session_test
