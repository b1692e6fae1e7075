#include <chrono>

#include "SimTestSupport.h"

namespace skypesim_test {
namespace {

using Clock = std::chrono::steady_clock;

class FaultTest : public SimTest {};

// A dropped reply's command still takes effect; a failed one does not.
TEST_F(FaultTest, RepliesCanBeDroppedOrFailed) {
    RawClient& alice = AddAttached("alice");
    sim->DropReplies("alice", 2, "CREATE APPLICATION");
    EXPECT_FALSE(alice.Command("CREATE APPLICATION one", kQuiet));
    EXPECT_EQ(alice.Command("PING"), "PONG");  // other commands are answered
    EXPECT_FALSE(alice.Command("CREATE APPLICATION two", kQuiet));
    EXPECT_EQ(alice.Command("CREATE APPLICATION two"),
              "ERROR 541 CREATE APPLICATION: Application already exists");
    sim->DropReplies("alice", 1);  // any command
    EXPECT_FALSE(alice.Command("PING", kQuiet));

    sim->FailCommands("alice", "CREATE APPLICATION", "ERROR 999 Out of order", 1);
    EXPECT_EQ(alice.Command("CREATE APPLICATION three"), "ERROR 999 Out of order");
    EXPECT_EQ(alice.Command("CREATE APPLICATION three"), "CREATE APPLICATION three");
    sim->FailCommands("alice", "PING", "ERROR 1 No");  // until cleared
    EXPECT_EQ(alice.Command("PING"), "ERROR 1 No");
    EXPECT_EQ(alice.Command("PING"), "ERROR 1 No");
    sim->ClearFaults("alice");
    EXPECT_EQ(alice.Command("PING"), "PONG");
}

TEST_F(FaultTest, DelayedRepliesComeLateAndAfterLaterOnes) {
    RawClient& alice = AddAttached("alice");
    sim->DelayReplies("alice", 400, "GET USER");
    auto start = Clock::now();
    ASSERT_TRUE(alice.Send("#slow GET USER alice FULLNAME"));
    EXPECT_EQ(alice.Command("PING"), "PONG");
    EXPECT_FALSE(alice.Notifications().WaitFor("#slow", 0, false));
    EXPECT_TRUE(WaitForExactly(alice, "#slow USER alice FULLNAME alice Example"));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(380));

    sim->DelayReplies("alice", 0, "GET USER");
    start = Clock::now();
    EXPECT_TRUE(alice.Command("GET USER alice FULLNAME"));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(380));
}

TEST_F(FaultTest, LogoutTellsTheClientsAndEndsStreams) {
    OpenStreams();
    sim->LogOut("alice");
    EXPECT_TRUE(WaitForExactly(Client("alice"), "CONNSTATUS LOGGEDOUT"));
    EXPECT_TRUE(WaitForExactly(Client("bob"), "APPLICATION corvane STREAMS"));
    EXPECT_TRUE(WaitForExactly(Client("bob"), "USER alice ONLINESTATUS OFFLINE"));
    EXPECT_EQ(Client("bob").Command("GET USER alice ONLINESTATUS"), "USER alice ONLINESTATUS OFFLINE");

    // Logged out, the messenger is not available; logged in again, it attaches as before.
    RawClient& alice = Client("alice");
    alice.Discover();
    EXPECT_TRUE(alice.WaitForAttach(3, kWait));
    sim->LogIn("alice");
    EXPECT_TRUE(WaitForExactly(Client("bob"), "USER alice ONLINESTATUS ONLINE"));
    auto again = ClientFor(configs["alice"]);
    EXPECT_TRUE(again->Attach(kWait));
    EXPECT_EQ(again->Command("GET APPLICATION corvane STREAMS").value_or("").substr(0, 6), "ERROR ");
}

TEST_F(FaultTest, VanishedMessengerSaysNothingMore) {
    OpenStreams();
    HWND old = sim->Window("alice");
    sim->Vanish("alice");
    EXPECT_EQ(sim->Window("alice"), nullptr);
    EXPECT_FALSE(IsWindow(old));
    RawClient& alice = Client("alice");
    EXPECT_FALSE(alice.Command("PING"));
    alice.Discover();
    EXPECT_FALSE(alice.WaitForAttach(3, kQuiet));
    EXPECT_EQ(alice.AttachReports().size(), 1u);  // the one from the set-up
    EXPECT_TRUE(WaitForExactly(Client("bob"), "USER alice ONLINESTATUS OFFLINE"));

    sim->StartMessenger("alice");
    EXPECT_TRUE(alice.Attach(kWait));
    EXPECT_EQ(alice.Messenger(), sim->Window("alice"));
    EXPECT_EQ(alice.Command("PING"), "PONG");
}

TEST_F(FaultTest, StatusChangesReachFriendsOnly) {
    OpenStreams();  // alice and bob are friends, carol knows neither
    sim->SetOnlineStatus("alice", "AWAY");
    EXPECT_TRUE(WaitForExactly(Client("bob"), "USER alice ONLINESTATUS AWAY"));
    EXPECT_EQ(Client("carol").Command("GET USER alice ONLINESTATUS"), "USER alice ONLINESTATUS AWAY");
    EXPECT_FALSE(Client("carol").Notifications().Pop(0));
    EXPECT_FALSE(Client("alice").Notifications().Pop(0));
}

TEST_F(FaultTest, InjectedNotificationsReachEveryClientOfTheAccount) {
    RawClient& first = AddAttached("alice");
    auto second = ClientFor(configs["alice"]);
    ASSERT_TRUE(second->Attach(kWait));
    ASSERT_TRUE(second->Command("PING"));  // a client counts once it has sent a command
    ASSERT_TRUE(first.Command("PING"));
    sim->InjectNotification("alice", "USER x ONLINESTATUS WEIRD");
    EXPECT_EQ(first.Notifications().Pop(kWait), "USER x ONLINESTATUS WEIRD");
    EXPECT_EQ(second->Notifications().Pop(kWait), "USER x ONLINESTATUS WEIRD");

    // A client whose window has gone is passed over.
    second.reset();
    sim->InjectNotification("alice", "one");
    sim->InjectNotification("alice", "two");
    EXPECT_EQ(first.Notifications().Pop(kWait), "one");
    EXPECT_EQ(first.Notifications().Pop(kWait), "two");
}

}  // namespace
}  // namespace skypesim_test
