// One session and the manager: state switches, stops, the status page, logout and the next
// attach, and sessions dropped while their own handlers run.
#include "MessageBoxCapture.h"
#include "SessionTestSupport.h"
#include "WorkerThread.h"
#include "network/ControlMessages.h"
#include "session/SessionState.h"
#include "skype/ISkypeApplication.h"
#include "skype/SkypeApplication.h"

namespace session_test {
namespace {

// Records its start, end and the session's StateChanged; "second" switches to "third" from OnStarted.
struct ProbeState : SessionState {
    ProbeState(std::vector<std::string>& log_, std::string name_) : log(log_), name(std::move(name_)) {}
    ~ProbeState() override { log.push_back("deleted " + name); }
    std::string GetDescription(bool) override { return name; }
    SessionTable::State TableState() const override { return SessionTable::State::Available; }
    void OnStarted() override {
        log.push_back("started " + name);
        if (name == "second") {
            std::vector<std::string>& kept = log;
            ChangeState(new ProbeState(kept, "third"));
            kept.push_back("switched");
        }
    }
    void OnChanged(ISession*, ISessionState* state) {
        log.push_back("changed " + (state ? state->GetDescription(false) : std::string("none")));
    }

    std::vector<std::string>& log;
    std::string name;
};

using SessionTest = AliceAndContacts;

// A state that switches again from OnStarted: StateChanged once, for the third state; the
// second is deleted after the third started.
TEST_F(SessionTest, StateThatSwitchesFromOnStarted) {
    SkypeApplication control(&alice->client, "corvane.probe");
    SkypeApplication screen(&alice->client, "corvane.probe.screen");
    std::vector<std::string> log;
    ProbeState recorder(log, "recorder");
    {
        Session session(&control, &screen, "nobody", &alice->client, false, &alice->config);
        session.SetGui(boost::shared_ptr<ISessionGui>(new ScriptedSessionGui(&session, nullptr)));
        session.StateChanged.Add(MakeDelegate<&ProbeState::OnChanged>(&recorder));
        session.Initialize(new ProbeState(log, "first"));
        session.ChangeState(new ProbeState(log, "second"));
        EXPECT_EQ(session.GetCurrentState().GetDescription(false), "third");
        EXPECT_FALSE(session.SendNetworkMessage(DiscoveryNetMsg()));  // no channel yet
    }
    EXPECT_EQ(log, (std::vector<std::string>{"started first", "changed first", "started second",
                                             "started third", "changed third", "deleted second", "switched",
                                             "deleted first", "changed none", "deleted third"}));
}

// One session with bob from start to logout. The status page lists connected sessions only,
// and a name the peer chose himself is text, never markup. Only the echo of our own test ping
// shows the time. StopDisplaying(false) from another thread sends the abort and shows the note
// at the next idle tick without a state change (bob in AvailableState ignores the abort). A stop
// our user asked for survives another contact's stream coming up before that tick. Bob logs out
// while alice views: she is told and connects again; his manager drops every session and both
// applications, which his next attach installs again. Last, the user interface drops every
// session from inside a note that a message's handler shows; the dropped one is deleted later.
TEST_F(SessionTest, OneSessionFromStatusPageToLogout) {
    std::string const page =
        "<B>Current connections:</B><UL><LI><IMG SRC='res://Tolvane.dll/statusavailable'> <B>";
    ASSERT_EQ(alice->manager->GetSessions().size(), 2u);  // bob and the own account, which stays connecting
    EXPECT_EQ(alice->manager->GetCurrentStateDescription(),
              page + bobHandle + " Example</B>: Connected</LI></UL>");
    std::vector<SessionProperty> lines;
    alice->ContactSession()->GetStatusProperties(lines);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[3].value, bobHandle + " Example");
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

    ASSERT_NO_FATAL_FAILURE(Views(*alice, *bob));
    ISkypeApplication* screen = alice->manager->GetScreenApplication();
    session->StopDisplaying(true);
    screen->OnConnectSuccess(std::string("carol.elsewhere"), screen);
    ASSERT_NO_FATAL_FAILURE(Steps({"A? \"Session was stopped.\" red []", "A? state AvailableState",
                                   "B? \"Remote user aborted session.\" red []", "B? state AvailableState"}));

    ASSERT_NO_FATAL_FAILURE(Views(*alice, *bob));
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
    ASSERT_NO_FATAL_FAILURE(
        Steps({"A> Request remote desktop", "B? \"User wants to see your desktop\"", "B> Decline",
               "A? \"Remote user declined to share desktop.\"", "A? state AvailableState", "A? state none",
               "B? state InitialState"}));  // alice's channels closed
    EXPECT_TRUE(alice->manager->GetSessions().empty());
}

// A user-interface manager that gives one contact no user interface: that session is dropped
// (the states would call it), the others start.
class PartialGuis : public ISessionGuiManager {
public:
    boost::shared_ptr<ISessionGui> CreateSessionGui(ISession* session) override {
        return session->GetUserNameW() == Handle("dave") ? nullptr : mGuis.CreateSessionGui(session);
    }

private:
    ScriptedSessionGuiManager mGuis;
};

TEST(SessionManagerStart, SessionWithoutUserInterfaceIsDropped) {
    SimulatedPeers peers({Handle("carol"), Handle("dave")});
    PartialGuis guis;
    Configuration config;
    SessionManager manager(&peers.NewClient(Handle("carol")), &guis, &config);
    ASSERT_TRUE(peers.Attach(Handle("carol")));
    ASSERT_TRUE(WaitUntil([&] { return !manager.GetSessions().empty(); }));
    std::vector<ISession*> sessions = manager.GetSessions();
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0]->GetUserNameW(), Handle("carol"));
}

}  // namespace
}  // namespace session_test
