#include "SimTestSupport.h"
#include "skypesim/SimCommandLine.h"
#include "skypesim/SimulatorProcess.h"

namespace skypesim_test {
namespace {

using skypesim::SimCommandLine;
using skypesim::SimOptions;

using SimProcess = skypesim::SimulatorProcess;

TEST(SkypeSimProcessTest, ClientsInThisProcessTalkToTheSimulatorInAnother) {
    AccountConfig aliceNames = UniqueAccount("alice");
    AccountConfig bobNames = UniqueAccount("bob");
    auto narrow = [](std::wstring const& wide) { return std::string(wide.begin(), wide.end()); };
    std::string quit = "SkypeSimTestQuit" + std::to_string(GetCurrentProcessId());
    HANDLE quitEvent = CreateEventA(nullptr, TRUE, FALSE, quit.c_str());
    SimProcess process("--quit-event " + quit +
                       " --account alice \"Alice Example\" --friends bob --discover " +
                       narrow(aliceNames.discoverMessage) + " --attach " + narrow(aliceNames.attachMessage) +
                       " --account bob \"Bob B\" --rate 1000000 --attach-status 1,0@50 --discover " +
                       narrow(bobNames.discoverMessage) + " --attach " + narrow(bobNames.attachMessage));
    ASSERT_TRUE(process.WaitForOutput("ready\n", 20000)) << process.Output();

    auto alice = ClientFor(aliceNames);
    auto bob = ClientFor(bobNames);
    ASSERT_TRUE(alice->Attach(kWait));
    ASSERT_TRUE(bob->Attach(kWait));
    EXPECT_EQ(bob->AttachReports().front().status, 1);
    EXPECT_EQ(alice->Command("GET USER bob FULLNAME"), "USER bob FULLNAME Bob B");
    EXPECT_EQ(bob->Command("SEARCH FRIENDS"), "USERS alice");
    ASSERT_TRUE(alice->Command("CREATE APPLICATION corvane"));
    ASSERT_TRUE(bob->Command("CREATE APPLICATION corvane"));
    ASSERT_TRUE(bob->Command("ALTER APPLICATION corvane CONNECT alice"));
    ASSERT_TRUE(WaitForExactly(*alice, "APPLICATION corvane STREAMS bob:1"));
    std::string packet(200000, 'p');
    EXPECT_EQ(bob->Command("ALTER APPLICATION corvane WRITE alice:1 " + packet),
              "ALTER APPLICATION corvane WRITE alice:1");
    EXPECT_TRUE(alice->WaitForNotification("APPLICATION corvane RECEIVED bob:1=200000", kWait));
    EXPECT_EQ(alice->Command("ALTER APPLICATION corvane READ bob:1"),
              "ALTER APPLICATION corvane READ bob:1 " + packet);

    SetEvent(quitEvent);
    EXPECT_EQ(process.WaitForExit(kWait), 0);
    CloseHandle(quitEvent);

    // Without a quit event it ends when its standard input closes.
    SimProcess second("--account carol Carol");
    ASSERT_TRUE(second.WaitForOutput("ready\n", 20000)) << second.Output();
    second.CloseInput();
    EXPECT_EQ(second.WaitForExit(kWait), 0);
}

TEST(SkypeSimProcessTest, CommandLineDescribesAccounts) {
    std::string error;
    std::optional<SimOptions> options = SimCommandLine::Parse(
        {"--account", "alice", "Alice A", "--friends", "bob,carol", "--status", "AWAY", "--attach-status",
         "1,0@250", "--stopped", "--account", "bob", "Bob", "--ignore-stdin"},
        error);
    ASSERT_TRUE(options) << error;
    EXPECT_FALSE(options->watchStdin);
    ASSERT_EQ(options->accounts.size(), 2u);
    AccountConfig const& alice = options->accounts[0];
    EXPECT_EQ(alice.friends, (std::vector<std::string>{"bob", "carol"}));
    EXPECT_EQ(alice.onlineStatus, "AWAY");
    ASSERT_EQ(alice.attachScript.size(), 2u);
    EXPECT_EQ(alice.attachScript[1].status, 0);
    EXPECT_EQ(alice.attachScript[1].delayMs, 250u);
    EXPECT_FALSE(alice.running);
    EXPECT_TRUE(options->accounts[1].running);
    EXPECT_EQ(options->accounts[1].discoverMessage, L"SkypeControlAPIDiscover");
    EXPECT_EQ(options->listenPort, -1);

    options = SimCommandLine::Parse(
        {"--listen", "0", "--link", "127.0.0.1:4000", "--latency", "25", "--account", "alice", "A"}, error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->listenPort, 0);
    EXPECT_EQ(options->linkAddress, "127.0.0.1:4000");
    EXPECT_EQ(options->latencyMs, 25u);

    std::vector<std::string> const wrong[] = {
        {},
        {"--rate", "5"},
        {"--account", "alice"},
        {"--account", "alice", "A", "--rate", "fast"},
        {"--account", "alice", "A", "--attach-status", "0@soon"},
        {"--account", "alice", "A", "--colour", "blue"},
        {"--account", "alice", "A", "--avatar", "no such file.png"},
        {"--link", "nowhere", "--account", "alice", "A"},
        {"--listen", "70000", "--account", "alice", "A"},
        {"--latency", "soon", "--account", "alice", "A"},
    };
    for (auto const& arguments : wrong) {
        SCOPED_TRACE(arguments.empty() ? std::string("nothing") : arguments.front() + " " + arguments[1]);
        EXPECT_FALSE(SimCommandLine::Parse(arguments, error));
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace skypesim_test
