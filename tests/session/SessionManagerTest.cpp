// The manager: install, status page, connection loss, logout and the next attach, and
// sessions dropped while their own handlers run.
#include "SessionTestSupport.h"
#include "session/ISessionState.h"

namespace session_test {
namespace {

using SessionManagerTest = TwoPeers;

TEST_F(SessionManagerTest, StatusPageListsOnlyConnectedSessions) {
    std::vector<ISession*> sessions = alice->manager->GetSessions();
    ASSERT_EQ(sessions.size(), 2u);  // bob and the own account, which stays connecting
    EXPECT_EQ(sessions[0]->GetUserNameW(), bobHandle);
    EXPECT_EQ(sessions[1]->GetUserNameW(), aliceHandle);
    EXPECT_EQ(alice->manager->GetCurrentStateDescription(),
              "<B>Current connections:</B><UL><LI><IMG SRC='res://Tolvane.dll/statusavailable'> <B>" +
                  bobHandle + " Example</B>: Connected</LI></UL>");

    std::vector<SessionProperty> lines;
    alice->ContactSession()->GetStatusProperties(lines);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0].value, bobHandle);
    EXPECT_EQ(lines[3].value, bobHandle + " Example");
    EXPECT_EQ(lines[4].group + "/" + lines[4].name, "Bandwidth/Received");
    EXPECT_NE(lines[4].value, "0 bytes");

    SkypeClient carol(nullptr, RegisterWindowMessageW(L"Corvane.SessionTests.Unanswered.Discover"),
                      RegisterWindowMessageW(L"Corvane.SessionTests.Unanswered.Attach"));
    ScriptedSessionGuiManager guis;
    SessionManager idle(&carol, &guis, nullptr);
    EXPECT_EQ(idle.GetCurrentStateDescription(), "There're no active connections.");
}

// A name the peer chose himself (his discovery, when the messenger knows no full name) is text
// on the status page, never markup.
TEST_F(SessionManagerTest, StatusPageEscapesThePeersName) {
    peers.Simulator().FailCommands(aliceHandle, "GET USER " + bobHandle + " FULLNAME", "ERROR 1 none");
    alice->ContactSession()->SetDiscoveryInfo({"pc", "<script>alert('x')</script> & <img src=\\\\host\\a>"});
    EXPECT_EQ(alice->manager->GetCurrentStateDescription(),
              "<B>Current connections:</B><UL><LI><IMG SRC='res://Tolvane.dll/statusavailable'> <B>"
              "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &lt;img src=\\\\host\\a&gt;</B>: "
              "Connected</LI></UL>");
}

// Bob logs out while alice views his desktop: alice is told and starts connecting again; bob's
// manager drops every session and both applications, and his next attach installs them again.
TEST_F(SessionManagerTest, LogoutClearsSessionsAndTheNextAttachInstallsThemAgain) {
    alice->Gui()->Run("Request remote desktop");
    ASSERT_TRUE(bob->Expect("\"User wants to see your desktop\"")) << bob->Pending();
    bob->Gui()->Run("Accept");
    ASSERT_TRUE(alice->Expect("state DisplayingState")) << alice->Pending();
    ASSERT_TRUE(bob->Expect("state TrackingState")) << bob->Pending();

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
TEST_F(SessionManagerTest, SessionsDroppedWhileTheirHandlerRuns) {
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
    // Bob sees alice's channels close.
    ASSERT_TRUE(bob->Expect("state InitialState")) << bob->Pending();
}

// A user-interface manager that gives one contact no user interface: that session is dropped
// (the states would call it), the others start.
class PartialGuis : public ISessionGuiManager {
public:
    explicit PartialGuis(std::string refused) : mRefused(std::move(refused)) {}
    boost::shared_ptr<ISessionGui> CreateSessionGui(ISession* session) override {
        return session->GetUserNameW() == mRefused ? boost::shared_ptr<ISessionGui>()
                                                   : mGuis.CreateSessionGui(session);
    }

private:
    std::string mRefused;
    ScriptedSessionGuiManager mGuis;
};

TEST(SessionManagerStart, SessionWithoutUserInterfaceIsDropped) {
    std::string const carol = "carol." + std::to_string(GetCurrentProcessId());
    std::string const dave = "dave." + std::to_string(GetCurrentProcessId());
    SimulatedPeers peers({carol, dave});
    PartialGuis guis(dave);
    Configuration config;
    SessionManager manager(&peers.NewClient(carol), &guis, &config);
    ASSERT_TRUE(peers.Attach(carol));
    for (DWORD start = GetTickCount(); manager.GetSessions().empty() && GetTickCount() - start < kWait;) {
        Sleep(10);
    }
    std::vector<ISession*> sessions = manager.GetSessions();
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0]->GetUserNameW(), carol);
}

}  // namespace
}  // namespace session_test
