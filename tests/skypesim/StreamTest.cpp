#include <chrono>
#include <map>

#include "SimTestSupport.h"

namespace skypesim_test {
namespace {

using Clock = std::chrono::steady_clock;

// alice and bob on one simulator, each with the application "corvane", alice connected to bob.
// The commands, faults and streams themselves are checked through the messenger client's tests.
class StreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (char const* handle : {"alice", "bob"}) {
            AccountConfig config = UniqueAccount(handle);
            sim.AddAccount(config);
            clients[handle] = ClientFor(config);
            ASSERT_TRUE(clients[handle]->Attach(kWait));
            ASSERT_TRUE(clients[handle]->Command("CREATE APPLICATION corvane"));
        }
        ASSERT_TRUE(Client("alice").Command("ALTER APPLICATION corvane CONNECT bob"));
        ASSERT_TRUE(WaitForExactly(Client("alice"), "APPLICATION corvane STREAMS bob:1"));
        ASSERT_TRUE(WaitForExactly(Client("bob"), "APPLICATION corvane STREAMS alice:1"));
        Client("alice").Notifications().Clear();
    }

    RawClient& Client(std::string const& handle) { return *clients.at(handle); }
    // The next packet of bob's stream from alice.
    std::string Read() {
        std::string command = "ALTER APPLICATION corvane READ alice:1";
        std::string reply = Client("bob").Command(command).value_or("");
        return reply.size() > command.size() ? reply.substr(command.size() + 1) : std::string();
    }
    void Write(std::string const& text) {
        EXPECT_EQ(Client("alice").Command("ALTER APPLICATION corvane WRITE bob:1 " + text),
                  "ALTER APPLICATION corvane WRITE bob:1");
    }

    SkypeSimulator sim;
    std::map<std::string, std::unique_ptr<RawClient>> clients;
};

// The send buffer drains at the account's rate, reported as it counts down (at most one report
// per 15 ms) and once more without the stream when it is empty.
TEST_F(StreamTest, SendBufferDrainsAtTheAccountsRate) {
    sim.SetRate("alice", 200000);
    auto start = Clock::now();
    Write(std::string(100000, 'r'));
    std::vector<std::string> reports;
    for (;;) {
        std::optional<std::string> report = Client("alice").Notifications().Pop(3000);
        ASSERT_TRUE(report);
        if (*report == "APPLICATION corvane SENDING") {
            break;
        }
        reports.push_back(*report);
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_GT(seconds, 0.4);
    EXPECT_LT(seconds, 1.0);
    EXPECT_TRUE(Client("bob").WaitForNotification("APPLICATION corvane RECEIVED alice:1=100000", kWait));
    EXPECT_EQ(Read(), std::string(100000, 'r'));

    std::string const prefix = "APPLICATION corvane SENDING bob:1=";
    ASSERT_GE(reports.size(), 5u);
    EXPECT_LE(reports.size(), 40u);
    EXPECT_EQ(reports.front(), prefix + "100000");
    long previous = 100001;
    for (std::string const& report : reports) {
        ASSERT_EQ(report.compare(0, prefix.size(), prefix), 0) << report;
        long pending = std::stol(report.substr(prefix.size()));
        EXPECT_LT(pending, previous);
        previous = pending;
    }
}

// A receiver that does not read holds its sender back once it has a window's worth unread, as
// a real connection does: the packet that crosses the window arrives, the next one waits, and
// the READ that brings the receiver below the window lets it go.
TEST_F(StreamTest, AnUnreadReceiverHoldsTheSenderBack) {
    std::string const packet(40000, 'w');
    for (int i = 0; i < 3; ++i) {
        Write(packet);
    }
    EXPECT_EQ(LastNotification(Client("alice")), "APPLICATION corvane SENDING bob:1=40000");
    EXPECT_EQ(Read(), packet);
    EXPECT_TRUE(WaitForExactly(Client("alice"), "APPLICATION corvane SENDING"));
    EXPECT_EQ(Read(), packet);
    EXPECT_EQ(Read(), packet);
}

}  // namespace
}  // namespace skypesim_test
