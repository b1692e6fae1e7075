// What a peer can make alice's session do: every state against every message bob can send,
// checked against the session table, and a peer sending random messages while alice's own
// choices move her between states. Viewing, sharing, input and clipboard only ever follow
// alice's choice.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>

#include "LogCapture.h"
#include "SessionTestSupport.h"
#include "SharingTap.h"
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
        case Peer::OtherAnswer: {
            auto answer = std::make_unique<RequestRemoteDesktopNetMsg>();
            answer->SetResponse(kind == Peer::Allowed);
            return answer;
        }
        case Peer::Abort: {
            auto abort = std::make_unique<RequestRemoteDesktopNetMsg>();
            abort->SetAbort(true);
            return abort;
        }
        case Peer::Offer:
            return std::make_unique<ShowMyDesktopNetMsg>(quality, false, false);
        case Peer::OfferAccepted:
            return std::make_unique<ShowMyDesktopNetMsg>(quality, true, false);
        case Peer::OfferWithdrawn:
            return std::make_unique<ShowMyDesktopNetMsg>(quality, false, true);
        case Peer::ResolutionQuery:
            return std::make_unique<DesktopResolutionMsg>();
        case Peer::ResolutionReply:
            return std::make_unique<DesktopResolutionMsg>(tagSIZE{640, 480});
        case Peer::Test:
            return std::make_unique<TestConnectNetMsg>("11", false);
        case Peer::TestAnswer:
            return std::make_unique<TestConnectNetMsg>("11", true);
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

char const* ClassOf(Next next) {
    switch (next) {
        case Next::Available:
            return "AvailableState";
        case Next::RequestConfirmation:
            return "RequestConfirmationState";
        case Next::SharingConfirmation:
            return "SharingConfirmationState";
        case Next::Displaying:
            return "DisplayingState";
        case Next::Tracking:
            return "TrackingState";
        default:
            return "";
    }
}

bool Working(State state) {
    return state == State::Displaying || state == State::Tracking;
}

// The table itself: only our own choice leads into viewing or sharing, and what a peer sends
// there reaches nothing else.
TEST(SessionTableRules, OnlyOurChoiceStartsViewingOrSharing) {
    for (int s = 0; s < static_cast<int>(State::Count); ++s) {
        for (int m = 0; m < static_cast<int>(Peer::Count); ++m) {
            State const state = static_cast<State>(s);
            Peer const kind = static_cast<Peer>(m);
            SCOPED_TRACE(std::string(SessionTable::NameOf(state)) + " / " + SessionTable::NameOf(kind));
            Next const next = SessionTable::Lookup(state, kind);
            if (next == Next::Displaying) {
                EXPECT_EQ(state, State::WaitingForRequestAnswer);
                EXPECT_EQ(kind, Peer::Allowed);
            }
            if (next == Next::Tracking) {
                EXPECT_EQ(state, State::WaitingForOfferAnswer);
                EXPECT_EQ(kind, Peer::OfferAccepted);
            }
            bool const content = kind >= Peer::ScreenChange;
            if (content && !Working(state)) {
                EXPECT_EQ(next, Next::Ignored);
            }
        }
        // Of our own events only an accept starts viewing or sharing, from the question it
        // answers; a lost channel always leads back to Initial.
        State const state = static_cast<State>(s);
        for (int e = 0; e < static_cast<int>(SessionTable::Local::Count); ++e) {
            SessionTable::Local const event = static_cast<SessionTable::Local>(e);
            SCOPED_TRACE(std::string(SessionTable::NameOf(state)) + " / our " + SessionTable::NameOf(event));
            Next const next = SessionTable::Lookup(state, event);
            if (next == Next::Displaying || next == Next::Tracking) {
                EXPECT_EQ(event, SessionTable::Local::Accept);
                EXPECT_EQ(next == Next::Displaying ? State::SharingConfirmation : State::RequestConfirmation,
                          state);
            }
        }
        EXPECT_EQ(SessionTable::Lookup(state, SessionTable::Local::ConnectFailure), Next::Initial);
    }
}

class Consent : public TwoPeers {
protected:
    void SetUp() override {
        TwoPeers::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        tap = std::make_unique<SharingTap>(bob->manager->GetControlApplication(),
                                           bob->manager->GetScreenApplication(), aliceHandle);
    }

    void TearDown() override {
        tap.reset();
        TwoPeers::TearDown();
    }

    void FromBob(Peer kind) {
        std::unique_ptr<NetworkMessage> message = MessageOf(kind);
        ASSERT_TRUE(bob->ContactSession()->SendNetworkMessage(*message));
    }

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
                FromBob(Peer::Request);
                ASSERT_TRUE(alice->Expect("state RequestConfirmationState")) << alice->Pending();
                return;
            case State::SharingConfirmation:
                FromBob(Peer::Offer);
                ASSERT_TRUE(alice->Expect("state SharingConfirmationState")) << alice->Pending();
                return;
            case State::Displaying:
                Enter(State::WaitingForRequestAnswer);
                FromBob(Peer::Allowed);
                ASSERT_TRUE(alice->Expect("state DisplayingState")) << alice->Pending();
                return;
            case State::Tracking:
                Enter(State::RequestConfirmation);
                return Run("Accept", "TrackingState");
            default:
                FAIL() << "no way into " << SessionTable::NameOf(state);
        }
    }

    // Alice's own way back from where she is.
    void Leave(Next where) {
        static std::map<Next, std::string> const kOperations = {{Next::RequestConfirmation, "Decline"},
                                                                {Next::SharingConfirmation, "Decline"},
                                                                {Next::Displaying, "Stop displaying"},
                                                                {Next::Tracking, "Stop sharing desktop"}};
        auto found = kOperations.find(where);
        if (found != kOperations.end()) {
            Run(found->second, "AvailableState");
        }
    }

    // Alice's way back from a state she is still in.
    void Leave(State state) {
        switch (state) {
            case State::WaitingForRequestAnswer:
            case State::WaitingForOfferAnswer:
                return Run("Cancel", "AvailableState");
            case State::RequestConfirmation:
                return Leave(Next::RequestConfirmation);
            case State::SharingConfirmation:
                return Leave(Next::SharingConfirmation);
            case State::Displaying:
                return Leave(Next::Displaying);
            case State::Tracking:
                return Leave(Next::Tracking);
            default:
                return;
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
            FromBob(kind);
            if (next == Next::Ignored) {
                std::string const line = std::string("Ignored ") + SessionTable::NameOf(kind) +
                                         " from the peer in " + SessionTable::NameOf(state);
                EXPECT_TRUE(WaitUntil([&] { return log.Contains(line); })) << line;
            }
        }
        // A last test answer, which no state acts on: once it arrived, all before it was handled.
        ASSERT_TRUE(bob->ContactSession()->SendNetworkMessage(TestConnectNetMsg("last", true)));
        EXPECT_TRUE(WaitUntil([&] { return log.Contains("NET RECV MSG (TestConnectNetMsg): last"); }));
        EXPECT_FALSE(alice->Expect("state ", 300)) << alice->Pending();
    }

    std::unique_ptr<SharingTap> tap;
};

// Every state against every message: the next state is the table's, nothing else moves.
TEST_F(Consent, EveryStateAgainstEveryPeerMessage) {
    for (int s = static_cast<int>(State::Available); s < static_cast<int>(State::Count); ++s) {
        State const state = static_cast<State>(s);
        SCOPED_TRACE(SessionTable::NameOf(state));
        SetCursorPos(11, 22);
        SetClipboardText("alice's own");
        Enter(state);
        ASSERT_FALSE(HasFatalFailure());
        SendThoseThatKeepTheState(state);
        POINT cursor;
        GetCursorPos(&cursor);
        EXPECT_EQ(cursor.x == 321 && cursor.y == 654, state == State::Tracking);
        EXPECT_EQ(ClipboardText() == "from the peer", Working(state));
        EXPECT_EQ(tap->GetCounts().clipboards > 0, state == State::Tracking);
        Leave(state);
        ASSERT_FALSE(HasFatalFailure());
        for (int m = 0; m < static_cast<int>(Peer::Count); ++m) {
            Peer const kind = static_cast<Peer>(m);
            Next const next = SessionTable::Lookup(state, kind);
            if (next == Next::Ignored || next == Next::Stays) {
                continue;
            }
            SCOPED_TRACE(SessionTable::NameOf(kind));
            Enter(state);
            FromBob(kind);
            ASSERT_TRUE(alice->Expect(std::string("state ") + ClassOf(next))) << alice->Pending();
            Leave(next);
            ASSERT_FALSE(HasFatalFailure());
        }
    }
    // Alice never shared on her own: the only changes bob saw are from her Tracking rows.
    EXPECT_GT(tap->GetCounts().changes, 0u);
}

// Bob sends random messages while alice asks, offers and cancels on her own: she views only
// after her request and shares only after her offer; his input and clipboard reach her only
// while she shares or views, and hers reach him only while she shares.
TEST_F(Consent, RandomPeerMessagesFollowOnlyOurChoices) {
    std::mt19937 random(20261207);
    std::atomic<State> own{State::Available};
    std::atomic<bool> viewed{false};
    std::atomic<bool> shared{false};
    alice->hook = [&](std::string const& line) {
        bool const viewing = line.find("state DisplayingState") != std::string::npos;
        bool const sharing = line.find("state TrackingState") != std::string::npos;
        EXPECT_FALSE(viewing && own != State::WaitingForRequestAnswer) << line;
        EXPECT_FALSE(sharing && own != State::WaitingForOfferAnswer) << line;
        viewed = viewed || viewing;
        shared = shared || sharing;
    };
    for (int round = 0; round < 18; ++round) {
        SCOPED_TRACE(round);
        SetCursorPos(11, 22);
        SetClipboardText("alice's own");
        unsigned const clipboards = tap->GetCounts().clipboards;
        viewed = shared = false;
        own = round % 3 == 0   ? State::WaitingForRequestAnswer
              : round % 3 == 1 ? State::WaitingForOfferAnswer
                               : State::Available;
        Enter(own);
        ASSERT_FALSE(HasFatalFailure());
        for (int i = 0; i < 5; ++i) {
            FromBob(static_cast<Peer>(random() % static_cast<unsigned>(Peer::Count)));
        }
        // Back to Available whatever happened: bob aborts, alice ends what is still open; his
        // last test answer arrives after his other messages.
        LogCapture log;
        FromBob(Peer::Abort);
        ASSERT_TRUE(bob->ContactSession()->SendNetworkMessage(TestConnectNetMsg("last", true)));
        for (char const* operation : {"Stop displaying", "Stop sharing desktop", "Cancel", "Decline"}) {
            alice->Gui()->Run(operation);
        }
        ASSERT_TRUE(WaitUntil([&] { return log.Contains("NET RECV MSG (TestConnectNetMsg): last"); }));
        ASSERT_TRUE(WaitUntil([&] {
            bool available = false;
            alice->ContactSession()->ReadState([&](ISessionState* state) {
                available = state && state->GetDescription(false) == "Connected";
            });
            return available;
        }));
        // Posted for this state: it runs only if nothing moved alice on meanwhile.
        alice->Gui()->Run("Show status");
        ASSERT_TRUE(alice->Expect("status 0")) << alice->Pending();
        POINT cursor;
        GetCursorPos(&cursor);
        EXPECT_TRUE(shared || (cursor.x == 11 && cursor.y == 22));
        EXPECT_TRUE(shared || tap->GetCounts().clipboards == clipboards);
        EXPECT_TRUE(shared || viewed || ClipboardText() == "alice's own");
        own = State::Available;
        alice->SkipAll();
    }
    alice->hook = nullptr;
}

}  // namespace
}  // namespace session_test
