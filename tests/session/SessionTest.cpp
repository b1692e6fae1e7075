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

// Records its start and end; the second kind switches to a third state from OnStarted.
class ProbeState : public SessionState {
public:
    ProbeState(std::vector<std::string>& log, std::string name, bool switchOnStart)
        : mLog(log), mName(std::move(name)), mSwitch(switchOnStart) {}
    ~ProbeState() override { mLog.push_back("deleted " + mName); }
    std::string GetDescription(bool) override { return mName; }
    SessionTable::State TableState() const override { return SessionTable::State::Available; }
    void OnStarted() override {
        mLog.push_back("started " + mName);
        if (mSwitch) {
            std::vector<std::string>& log = mLog;
            ChangeState(new ProbeState(log, "third", false));
            log.push_back("switched");
        }
    }

private:
    std::vector<std::string>& mLog;
    std::string mName;
    bool mSwitch;
};

struct ChangedRecorder {
    void OnChanged(ISession*, ISessionState* state) {
        log.push_back("changed " + (state ? state->GetDescription(false) : std::string("none")));
    }
    std::vector<std::string>& log;
};

using SessionTest = AliceAndContacts;

// A state that switches again from OnStarted: StateChanged once, for the third state; the
// second is deleted after the third started.
TEST_F(SessionTest, StateThatSwitchesFromOnStarted) {
    SkypeApplication control(&alice->client, "corvane.probe");
    SkypeApplication screen(&alice->client, "corvane.probe.screen");
    std::vector<std::string> log;
    ChangedRecorder recorder{log};
    {
        Session session(&control, &screen, "nobody", &alice->client, false, &alice->config);
        session.SetGui(boost::shared_ptr<ISessionGui>(new ScriptedSessionGui(&session, nullptr)));
        session.StateChanged.Add(MakeDelegate<&ChangedRecorder::OnChanged>(&recorder));
        session.Initialize(new ProbeState(log, "first", false));
        session.ChangeState(new ProbeState(log, "second", true));
        EXPECT_EQ(session.GetCurrentState().GetDescription(false), "third");
        EXPECT_FALSE(session.SendNetworkMessage(DiscoveryNetMsg()));  // no channel yet
    }
    EXPECT_EQ(log, (std::vector<std::string>{"started first", "changed first", "started second",
                                             "started third", "changed third", "deleted second", "switched",
                                             "deleted first", "changed none", "deleted third"}));
}

// StopDisplaying(false) from another thread: at the next idle tick the abort goes out and the
// note is shown, without a state change; the peer in AvailableState ignores the abort.
TEST_F(SessionTest, StopWithoutReturningStaysInTheState) {
    Session* session = alice->ContactSession();
    WorkerThread([session] { session->StopDisplaying(false); }).Join();
    ASSERT_TRUE(alice->Expect("hide-remote")) << alice->Pending();
    ASSERT_TRUE(alice->Expect("\"Session was stopped.\" red []")) << alice->Pending();
    EXPECT_FALSE(alice->Expect("state ", 300)) << alice->Pending();
    EXPECT_FALSE(bob->Expect("state ", 10)) << bob->Pending();
}

// A stop our user asked for is carried out even when a stream of another contact comes up
// before the session's next idle tick.
TEST_F(SessionTest, StopSurvivesAnotherContactsStreamComingUp) {
    ASSERT_NO_FATAL_FAILURE(Views(*alice, *bob));
    ISkypeApplication* screen = alice->manager->GetScreenApplication();
    alice->ContactSession()->StopDisplaying(true);
    screen->OnConnectSuccess(std::string("carol.elsewhere"), screen);
    ASSERT_TRUE(alice->Expect("\"Session was stopped.\" red []")) << alice->Pending();
    ASSERT_TRUE(alice->Expect("state AvailableState")) << alice->Pending();
    ASSERT_TRUE(bob->Expect("\"Remote user aborted session.\" red []")) << bob->Pending();
}

// Only the echo of our own test ping shows the time: an echo the peer sends unasked shows none.
TEST_F(SessionTest, OnlyTheEchoOfOurOwnTestPingShowsTheTime) {
    MessageBoxCapture boxes;
    ASSERT_TRUE(bob->ContactSession()->SendNetworkMessage(TestConnectNetMsg("11", true)));
    bob->Gui()->Run("Test ping");  // alice handles the unasked echo before she answers this
    ASSERT_TRUE(WaitUntil([&] { return !boxes.Boxes().empty(); }));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, L" TIME ELAPSED ");
    EXPECT_NE(boxes.Boxes()[0].text.find(L" sec"), std::wstring::npos);
}

// Only connected sessions are listed, and a name the peer chose himself (his discovery, when
// the messenger knows no full name) is text on the page, never markup.
TEST_F(SessionTest, StatusPageListsConnectedSessionsAndEscapesThePeersName) {
    std::string const page =
        "<B>Current connections:</B><UL><LI><IMG SRC='res://Tolvane.dll/statusavailable'> <B>";
    std::vector<ISession*> sessions = alice->manager->GetSessions();
    ASSERT_EQ(sessions.size(), 2u);  // bob and the own account, which stays connecting
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
}

// Bob logs out while alice views his desktop: alice is told and starts connecting again; bob's
// manager drops every session and both applications, and his next attach installs them again.
TEST_F(SessionTest, LogoutClearsSessionsAndTheNextAttachInstallsThemAgain) {
    ASSERT_NO_FATAL_FAILURE(Views(*alice, *bob));

    peers.Simulator().LogOut(bobHandle);
    ASSERT_TRUE(alice->Expect("hide-remote")) << alice->Pending();
    ASSERT_TRUE(alice->Expect("\"Remote user disconnected\" red []")) << alice->Pending();
    ASSERT_TRUE(alice->Expect("state InitialState")) << alice->Pending();
    ASSERT_TRUE(bob->Expect("state none")) << bob->Pending();
    EXPECT_TRUE(bob->manager->GetSessions().empty());
    EXPECT_EQ(bob->manager->GetCurrentStateDescription(), "There're no active connections.");

    peers.Simulator().LogIn(bobHandle);
    // The client looks for the messenger again every 10 s.
    ASSERT_TRUE(bob->Expect("\"Remote user becomes online\" green []", 30000)) << bob->Pending();
    ASSERT_TRUE(alice->Expect("\"Remote user becomes online\" green []")) << alice->Pending();
    EXPECT_EQ(bob->manager->GetSessions().size(), 2u);
    ASSERT_TRUE(peers.Simulator().WaitForCommand(bobHandle, "CREATE APPLICATION corvane.screen", kWait));
}

// The user interface drops every session from inside a note that a message's handler shows:
// the state goes on to its next state on the dropped session, which is deleted later.
TEST_F(SessionTest, SessionsDroppedWhileTheirHandlerRuns) {
    alice->hook = [this](std::string const& line) {
        if (line.find("Remote user declined to share desktop.") != std::string::npos) {
            alice->manager->ClearSessions();
        }
    };
    alice->Gui()->Run("Request remote desktop");
    ASSERT_TRUE(bob->Expect("\"User wants to see your desktop\"")) << bob->Pending();
    bob->Gui()->Run("Decline");
    ASSERT_TRUE(alice->Expect("\"Remote user declined to share desktop.\"")) << alice->Pending();
    ASSERT_TRUE(alice->Expect("state AvailableState")) << alice->Pending();
    ASSERT_TRUE(alice->Expect("state none")) << alice->Pending();
    EXPECT_TRUE(alice->manager->GetSessions().empty());
    ASSERT_TRUE(bob->Expect("state InitialState")) << bob->Pending();  // alice's channels closed
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
