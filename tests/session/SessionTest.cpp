// Sessions between two managers: the negotiation from both user interfaces, what a peer can make
// alice's session do, the status page, stops, logout and sessions dropped by their own handlers.
#include <windows.h>

#include <cstring>
#include <map>
#include <memory>

#include "LogCapture.h"
#include "MessageBoxCapture.h"
#include "SessionTestSupport.h"
#include "WorkerThread.h"
#include "codec/ScreenEncoder.h"
#include "network/ControlMessages.h"
#include "session/ISessionState.h"
#include "session/SessionTable.h"
#include "skype/ISkypeApplication.h"

namespace session_test {
namespace {

using SessionTest = AliceAndContacts;

// One session with bob to logout. The status page lists connected sessions, a peer's own name as
// text. Only the echo of our own test ping shows the time. StopDisplaying(false) from another
// thread aborts at the next idle tick without a state change; a stop our user asked for survives
// another contact's stream coming up before it. Bob logs out while alice views: she is told, his
// manager drops every session and application, and his next attach installs them again. Last,
// the user interface drops every session from inside a note a message's handler shows.
TEST_F(SessionTest, OneSessionFromStatusPageToLogout) {
    std::string const page =
        "<B>Current connections:</B><UL><LI><IMG SRC='res://Tolvane.dll/statusavailable'> <B>";
    ASSERT_EQ(alice->manager->GetSessions().size(), 2u);  // bob and the own account, which stays connecting
    EXPECT_EQ(alice->manager->GetCurrentStateDescription(),
              page + bobHandle + " Example</B>: Connected</LI></UL>");
    std::vector<SessionProperty> lines;
    alice->ContactSession()->GetStatusProperties(lines);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[4].group + "/" + lines[4].name, "Bandwidth/Received");
    EXPECT_NE(lines[4].value, "0 bytes");
    peers.Simulator().FailCommands(aliceHandle, "GET USER " + bobHandle + " FULLNAME", "ERROR 1 none");
    alice->ContactSession()->SetDiscoveryInfo({"pc", "<script>alert('x')</script> & <img src=\\\\host\\a>"});
    EXPECT_EQ(alice->manager->GetCurrentStateDescription(),
              page +
                  "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &lt;img src=\\\\host\\a&gt;</B>: "
                  "Connected</LI></UL>");

    MessageBoxCapture boxes;
    ASSERT_TRUE(bob->ContactSession()->SendNetworkMessage(TestConnectNetMsg("11", true)));
    bob->Gui()->Run("Test ping");  // alice handles the unasked echo before she answers this
    ASSERT_TRUE(WaitUntil([&] { return !boxes.Boxes().empty(); }));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, L" TIME ELAPSED ");
    EXPECT_NE(boxes.Boxes()[0].text.find(L" sec"), std::wstring::npos);

    Session* session = alice->ContactSession();
    WorkerThread([session] { session->StopDisplaying(false); }).Join();
    ASSERT_NO_FATAL_FAILURE(Steps({"A? hide-remote", "A? \"Session was stopped.\" red []"}));
    EXPECT_FALSE(alice->Expect("state ", 300)) << alice->Pending();
    EXPECT_FALSE(bob->Expect("state ", 10)) << bob->Pending();

    ASSERT_NO_FATAL_FAILURE(Views('A'));
    ISkypeApplication* screen = alice->manager->GetScreenApplication();
    session->StopDisplaying(true);
    screen->OnConnectSuccess(std::string("carol.elsewhere"), screen);
    ASSERT_NO_FATAL_FAILURE(Steps({"A? \"Session was stopped.\" red []", "A? state AvailableState",
                                   "B? \"Remote user aborted session.\" red []", "B? state AvailableState"}));

    ASSERT_NO_FATAL_FAILURE(Views('A'));
    peers.Simulator().LogOut(bobHandle);
    ASSERT_NO_FATAL_FAILURE(Steps({"A? hide-remote", "A? \"Remote user disconnected\" red []",
                                   "A? state InitialState", "B? state none"}));
    EXPECT_TRUE(bob->manager->GetSessions().empty());
    EXPECT_EQ(bob->manager->GetCurrentStateDescription(), "There're no active connections.");
    peers.Simulator().LogIn(bobHandle);
    // The client looks for the messenger again every 10 s.
    ASSERT_TRUE(bob->Expect("\"Remote user becomes online\" green []", 30000)) << bob->Pending();
    ASSERT_NO_FATAL_FAILURE(Steps({"A? \"Remote user becomes online\" green []", "A? state AvailableState",
                                   "B? state AvailableState"}));
    EXPECT_EQ(bob->manager->GetSessions().size(), 2u);
    ASSERT_TRUE(peers.Simulator().WaitForCommand(bobHandle, "CREATE APPLICATION corvane.screen", kWait));

    alice->hook = [this](std::string const& line) {
        if (line.find("Remote user declined to share desktop.") != std::string::npos) {
            alice->manager->ClearSessions();
        }
    };
    ASSERT_NO_FATAL_FAILURE(Steps(
        {"A> Request remote desktop", "B? \"User wants to see your desktop\"", "B> Decline", "B? close",
         "B? state AvailableState", "A? \"Remote user declined to share desktop.\" red []",
         "A? state AvailableState", "A? state none", "B? state InitialState"}));  // alice's channels closed
    EXPECT_TRUE(alice->manager->GetSessions().empty());
}

// A user-interface manager that gives dave no user interface: his session is dropped (the
// states would call it), carol's starts.
struct PartialGuis : ScriptedSessionGuiManager {
    boost::shared_ptr<ISessionGui> CreateSessionGui(ISession* session) override {
        bool const dave = session->GetUserNameW() == Handle("dave");
        return dave ? nullptr : ScriptedSessionGuiManager::CreateSessionGui(session);
    }
};

TEST(SessionManagerStart, SessionWithoutUserInterfaceIsDropped) {
    SimulatedPeers peers({Handle("carol"), Handle("dave")});
    PartialGuis guis;
    Configuration config;
    SessionManager manager(&peers.NewClient(Handle("carol")), &guis, &config);
    ASSERT_TRUE(peers.Attach(Handle("carol")));
    ASSERT_TRUE(WaitUntil([&] { return !manager.GetSessions().empty(); }));
    ASSERT_EQ(manager.GetSessions().size(), 1u);
    EXPECT_EQ(manager.GetSessions()[0]->GetUserNameW(), Handle("carol"));
}

// A name, then the steps.
std::vector<std::string> const kRows[] = {
    {"request, accept, the viewer stops from another thread", "A> Request remote desktop",
     "A? edit-quality 1024x768x16 -> 0", "A? state WaitingConfirmationState",
     "B? \"User wants to see your desktop\" - [Accept/0 Decline/0]", "B! Accept", "B? close",
     "B? state TrackingState", "A? show-remote 1024x768x16", "A? state DisplayingState", "A~",
     "A? hide-remote", "A? \"Session was stopped.\" red []", "A? state AvailableState",
     "B? \"Remote user aborted session.\" red []", "B? state AvailableState"},
    {"request, the requester cancels", "A> Request remote desktop", "A? state WaitingConfirmationState",
     "B? \"User wants to see your desktop\"", "A> Cancel", "A? state AvailableState",
     "B? \"Remote user cancelled request.\" red []", "B? close", "B? state AvailableState"},
    {"a declined quality dialog asks nothing; best fit requests the requester's own desktop size", "A= 1",
     "A> Request remote desktop", "A? edit-quality 1024x768x16 -> 1", "A# 0x0", "A> Request remote desktop",
     "A? edit-quality 0x0x16 -> 0", "A? state WaitingConfirmationState",
     "B? \"User wants to see your desktop\"", "B!! Accept", "B? state TrackingState",
     "A? show-remote 1280x1024x16", "A? state DisplayingState", "B> Stop sharing desktop",
     "B? state AvailableState", "A? \"Remote user aborted session.\" red []", "A? hide-remote",
     "A? state AvailableState", "A# 1024x768"},
    {"share, accept, the viewer stops", "A> Share my desktop", "A? state WaitingConfirmationState",
     "B? \"User wants you to see remote desktop (1024x768x16). Accept?\" - [Accept/4 Decline/0 More.../0]",
     "B! Accept", "B? show-remote 1024x768x16", "B? state DisplayingState", "A? state TrackingState",
     "B> Stop displaying", "B? hide-remote", "B? \"Session was stopped.\" red []", "B? state AvailableState",
     "A? \"Remote user aborted session.\" red []", "A? state AvailableState"},
    {"share, decline", "A> Share my desktop", "B? \"User wants you to see remote desktop", "B! Decline",
     "B? state AvailableState", "A? \"Remote user declined to view desktop.\" red []",
     "A? state AvailableState"},
    {"share, More... accepts an edited quality, the sharer stops", "B= 0 640x480x8", "A> Share my desktop",
     "B? \"User wants you to see remote desktop", "B! More...", "B? edit-quality 1024x768x16 -> 0",
     "B? show-remote 640x480x8", "B? state DisplayingState", "A? state TrackingState",
     "A> Stop sharing desktop", "A? state AvailableState", "B? \"Remote user aborted session.\" red []",
     "B? state AvailableState"},
    {"share, More... declines", "B= 1", "A> Share my desktop", "B? \"User wants you to see remote desktop",
     "B! More...", "B? edit-quality 1024x768x16 -> 1", "B? state AvailableState",
     "A? \"Remote user declined to view desktop.\"", "A? state AvailableState"},
    {"share, More... with another answer leaves the question open, the sharer cancels", "B= 2",
     "A> Share my desktop", "B? \"User wants you to see remote desktop", "B! More...",
     "B? edit-quality 1024x768x16 -> 2", "A> Cancel", "A? state AvailableState",
     "B? \"Remote user cancelled request.\" red []", "B? state AvailableState"},
};

TEST_F(SessionTest, NegotiationRowsFromBothSides) {
    for (auto const& row : kRows) {
        SCOPED_TRACE(row[0]);
        ASSERT_NO_FATAL_FAILURE(Steps({row.begin() + 1, row.end()}));
    }
}

using State = SessionTable::State;
using Peer = SessionTable::Peer;
using Next = SessionTable::Next;

// One message of each kind, as bob would send it (the list is in the order of the kinds).
std::shared_ptr<NetworkMessage> MessageOf(Peer kind) {
    SessionQualityConfiguration const quality({800, 600}, 24, false, 50);
    auto answer = [](bool allowed, bool abort) {
        auto message = std::make_shared<RequestRemoteDesktopNetMsg>();
        abort ? message->SetAbort(true) : message->SetResponse(allowed);
        return message;
    };
    unsigned char packet[4 + 8 + 12] = {1};
    std::uint16_t const edges[4] = {0, 0, 2, 2};
    std::memcpy(packet + 4, edges, sizeof edges);
    auto const change = std::make_shared<ScreenChangeNetMsg>(
        ScreenEncoder::Encode(packet, sizeof packet, tagSIZE{800, 600}, 0, ScreenEncoder::Settings()));
    std::shared_ptr<NetworkMessage> const messages[] = {
        std::make_shared<DiscoveryNetMsg>(),
        std::make_shared<RequestRemoteDesktopNetMsg>(true, quality),
        answer(true, false),
        answer(false, true),
        answer(false, false),
        std::make_shared<ShowMyDesktopNetMsg>(quality, false, false),
        std::make_shared<ShowMyDesktopNetMsg>(quality, true, false),
        std::make_shared<ShowMyDesktopNetMsg>(quality, false, true),
        std::make_shared<DesktopResolutionMsg>(),
        std::make_shared<DesktopResolutionMsg>(tagSIZE{640, 480}),
        std::make_shared<TestConnectNetMsg>("11", false),
        std::make_shared<TestConnectNetMsg>("11", true),
        change,
        std::make_shared<MouseMoveNetMsg>(tagPOINT{7, 9}),
        std::make_shared<WindowEventNetMsg>(WM_MOUSEMOVE, 0, MAKELPARAM(321, 654)),
        std::make_shared<ClipboardNetMsg>(TextPayload("from the peer")),
        std::make_shared<ClipboardRequestNetMsg>(),
        std::make_shared<ClipboardAcknowledgeNetMsg>()};
    static_assert(sizeof messages / sizeof messages[0] == static_cast<int>(Peer::Count), "one of each kind");
    return messages[static_cast<int>(kind)];
}

// The class alice's session shows for a state or an outcome of the table's name.
std::string ClassOf(std::string const& name) {
    return name.compare(0, 7, "Waiting") == 0 ? "WaitingConfirmationState" : name + "State";
}

// The table: only our choice leads into viewing or sharing (Displaying and Tracking, the last
// states), what a peer sends there reaches nothing else, and a lost channel leads to Initial.
TEST(SessionTableRules, OnlyOurChoiceStartsViewingOrSharing) {
    for (int s = 0; s < static_cast<int>(State::Count); ++s) {
        State const state = static_cast<State>(s);
        SCOPED_TRACE(SessionTable::NameOf(state));
        for (int m = 0; m < static_cast<int>(Peer::Count); ++m) {
            Peer const kind = static_cast<Peer>(m);
            Next const next = SessionTable::Lookup(state, kind);
            bool const allowed = state == State::WaitingForRequestAnswer && kind == Peer::Allowed;
            bool const accepted = state == State::WaitingForOfferAnswer && kind == Peer::OfferAccepted;
            EXPECT_TRUE((next != Next::Displaying || allowed) && (next != Next::Tracking || accepted) &&
                        (kind < Peer::ScreenChange || state >= State::Displaying || next == Next::Ignored))
                << SessionTable::NameOf(kind);
        }
        for (int e = 0; e < static_cast<int>(SessionTable::Local::Count); ++e) {
            SessionTable::Local const event = static_cast<SessionTable::Local>(e);
            Next const next = SessionTable::Lookup(state, event);
            bool const accept = event == SessionTable::Local::Accept;
            EXPECT_TRUE((next != Next::Displaying || (accept && state == State::SharingConfirmation)) &&
                        (next != Next::Tracking || (accept && state == State::RequestConfirmation)))
                << "our " << SessionTable::NameOf(event);
        }
        EXPECT_EQ(SessionTable::Lookup(state, SessionTable::Local::ConnectFailure), Next::Initial);
    }
}

class Consent : public AliceAndContacts {
protected:
    void Send(Peer kind) { FromBob(*MessageOf(kind)); }

    // Alice's own choices (and bob's questions) that lead into `state` from where she is.
    void Enter(State state) {
        struct Way {
            State from;
            char const* operation;
            Peer message;
        };
        static std::map<State, Way> const kWays = {
            {State::WaitingForRequestAnswer, {State::Available, "Request remote desktop", Peer::Count}},
            {State::WaitingForOfferAnswer, {State::Available, "Share my desktop", Peer::Count}},
            {State::RequestConfirmation, {State::Available, nullptr, Peer::Request}},
            {State::SharingConfirmation, {State::Available, nullptr, Peer::Offer}},
            {State::Displaying, {State::WaitingForRequestAnswer, nullptr, Peer::Allowed}},
            {State::Tracking, {State::RequestConfirmation, "Accept", Peer::Count}}};
        auto const way = kWays.find(state);
        if (way != kWays.end()) {
            Enter(way->second.from);
            way->second.operation ? alice->Gui()->Run(way->second.operation) : Send(way->second.message);
            ASSERT_TRUE(alice->Expect("state " + ClassOf(SessionTable::NameOf(state)))) << alice->Pending();
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
        auto const found = kOperations.find(stateClass);
        if (found != kOperations.end()) {
            alice->Gui()->Run(found->second);
            ASSERT_TRUE(alice->Expect("state AvailableState")) << found->second << "\n" << alice->Pending();
        }
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
        // Every message the state ignores or handles in place, one after the other.
        LogCapture log;
        for (int m = 0; m < static_cast<int>(Peer::Count); ++m) {
            Peer const kind = static_cast<Peer>(m);
            Next const next = SessionTable::Lookup(state, kind);
            std::string const ignored = std::string("Ignored ") + SessionTable::NameOf(kind) +
                                        " from the peer in " + SessionTable::NameOf(state);
            if (next == Next::Ignored || next == Next::Stays) {
                Send(kind);
                EXPECT_TRUE(next == Next::Stays || WaitUntil([&] { return log.Contains(ignored); }))
                    << ignored;
            }
        }
        // A last test answer, which no state acts on: once it arrived, all before it was handled.
        FromBob(TestConnectNetMsg("last", true));
        EXPECT_TRUE(WaitUntil([&] { return log.Contains("NET RECV MSG (TestConnectNetMsg): last"); }));
        EXPECT_FALSE(alice->Expect("state ", 300)) << alice->Pending();
        EXPECT_EQ(CursorAt(321, 654), state == State::Tracking);
        EXPECT_EQ(ClipboardText() == "from the peer", state >= State::Displaying);
        EXPECT_EQ(Tap().GetCounts().clipboards > 0, state == State::Tracking);
        Leave(ClassOf(SessionTable::NameOf(state)));
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
            ASSERT_TRUE(alice->Expect("state " + ClassOf(SessionTable::NameOf(next)))) << alice->Pending();
            Leave(ClassOf(SessionTable::NameOf(next)));
            ASSERT_FALSE(HasFatalFailure());
        }
    }
    // Alice never shared on her own: the only changes bob saw are from her Tracking rows.
    EXPECT_GT(Tap().GetCounts().changes, 0u);
}

}  // namespace
}  // namespace session_test
