#include <vector>

#include "SimTestSupport.h"
#include "TempFolder.h"
#include "WorkerThread.h"

namespace skypesim_test {
namespace {

class CommandTest : public SimTest {};

TEST_F(CommandTest, RepliesCarryTheCommandsIdAndRawCommandsGetPlainTexts) {
    RawClient& alice = AddAttached("alice");
    EXPECT_EQ(alice.Command("GET CURRENTUSERHANDLE"), "CURRENTUSERHANDLE alice");
    ASSERT_TRUE(alice.Send("#my-id GET CURRENTUSERHANDLE"));
    EXPECT_TRUE(WaitForExactly(alice, "#my-id CURRENTUSERHANDLE alice"));
    ASSERT_TRUE(alice.Send("GET CURRENTUSERHANDLE"));
    EXPECT_TRUE(WaitForExactly(alice, "CURRENTUSERHANDLE alice"));
    EXPECT_EQ(alice.Command("get currentuserhandle"), "CURRENTUSERHANDLE alice");
    EXPECT_EQ(alice.Command("PING"), "PONG");

    // Commands from several threads at once each get their own reply.
    std::vector<WorkerThread> threads;
    std::vector<std::string> replies(8);
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] {
            replies[i] = alice.Command("GET USER alice FULLNAME").value_or("none") + " / " +
                         alice.Command("SEARCH FRIENDS").value_or("none");
        });
    }
    for (WorkerThread& thread : threads) {
        thread.Join();
    }
    for (std::string const& reply : replies) {
        EXPECT_EQ(reply, "USER alice FULLNAME alice Example / USERS ");
    }
    EXPECT_TRUE(sim->WaitForCommand("alice", "SEARCH FRIENDS", kWait));
    EXPECT_FALSE(sim->WaitForCommand("alice", "GET USER bob", 50));
    EXPECT_EQ(sim->Counters("alice").commands, 21u);
}

TEST_F(CommandTest, UserQueriesDescribeTheNetwork) {
    RawClient& alice = AddAttached("alice", [](AccountConfig& c) { c.friends = {"carol", "bob"}; });
    AddAttached("bob", [](AccountConfig& c) {
        c.fullName = "Bob Smith";
        c.onlineStatus = "DONOTDISTURB";
    });
    AccountConfig carol = UniqueAccount("carol");
    carol.running = false;
    sim->AddAccount(carol);
    RawClient& dave = AddAttached("dave");
    struct Case {
        RawClient* client;
        char const* command;
        char const* reply;
    } const cases[] = {
        {&alice, "SEARCH FRIENDS", "USERS bob, carol"},
        {&dave, "SEARCH FRIENDS", "USERS "},
        {&alice, "GET USER bob FULLNAME", "USER bob FULLNAME Bob Smith"},
        {&alice, "GET USER bob ONLINESTATUS", "USER bob ONLINESTATUS DONOTDISTURB"},
        {&alice, "GET USER dave ONLINESTATUS", "USER dave ONLINESTATUS ONLINE"},
        {&alice, "GET USER carol ONLINESTATUS", "USER carol ONLINESTATUS OFFLINE"},  // not running
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(c.client->Command(c.command), c.reply);
    }
    // Friendship is mutual.
    EXPECT_EQ(Client("bob").Command("SEARCH FRIENDS"), "USERS alice");
}

TEST_F(CommandTest, BadCommandsGetErrors) {
    RawClient& alice = AddAttached("alice");
    AddAttached("bob", [](AccountConfig& c) { c.avatar = "a picture"; });  // one not written is an error
    ASSERT_TRUE(alice.Command("CREATE APPLICATION app"));
    TempFolder folder;
    std::string const commands[] = {
        "",
        "FLY AWAY",
        "GET WEATHER",
        "GET USER nobody FULLNAME",
        "GET USER bob SHOESIZE",
        "GET USER bob AVATAR 2 c:\\x",
        "GET USER bob AVATAR 1 " + folder.File("no such folder\\bob"),
        "SEARCH ENEMIES",
        "GET APPLICATION nope STREAMS",
        "CREATE APPLICATION two words",
        "DELETE APPLICATION nope",
        "ALTER APPLICATION app FLY bob",
        "ALTER APPLICATION app CONNECT nobody",
        "ALTER APPLICATION app CONNECT alice",
        "ALTER APPLICATION app WRITE bob:1",
        "ALTER APPLICATION app READ bob:x",
        "ALTER APPLICATION app DATAGRAM bob:1 text",
    };
    for (std::string const& command : commands) {
        SCOPED_TRACE(command);
        std::optional<std::string> reply = alice.Command(command);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->substr(0, 6), "ERROR ");
    }
    // An error for a raw command comes as a plain text.
    ASSERT_TRUE(alice.Send("FLY AWAY"));
    EXPECT_TRUE(WaitForExactly(alice, "ERROR 2 Unknown command"));
}

}  // namespace
}  // namespace skypesim_test
