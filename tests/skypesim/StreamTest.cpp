#include <chrono>

#include "SimTestSupport.h"

namespace skypesim_test {
namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// alice and bob with the application "corvane", alice connected to bob: on one simulator, or
// (true) on two in this process linked over loopback as two machines' would be.
class StreamTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        AccountConfig aliceConfig = UniqueAccount("alice");
        AccountConfig bobConfig = UniqueAccount("bob");
        first.AddAccount(aliceConfig);
        (GetParam() ? second : first).AddAccount(bobConfig);
        if (GetParam()) {
            unsigned short port = first.Listen(0);
            ASSERT_NE(port, 0);
            ASSERT_TRUE(second.LinkTo("127.0.0.1", port, kWait));
            ASSERT_TRUE(first.LinkEvents().WaitFor("link up", kWait, true));
        }
        alice = std::make_unique<RawClient>(aliceConfig.discoverMessage, aliceConfig.attachMessage);
        bob = std::make_unique<RawClient>(bobConfig.discoverMessage, bobConfig.attachMessage);
        for (RawClient* client : {alice.get(), bob.get()}) {
            ASSERT_TRUE(client->Attach(kWait));
            ASSERT_TRUE(client->Command("CREATE APPLICATION corvane"));
        }
        ASSERT_TRUE(alice->Command("ALTER APPLICATION corvane CONNECT bob"));
        ASSERT_TRUE(WaitForExactly(*alice, "APPLICATION corvane STREAMS bob:1"));
        ASSERT_TRUE(WaitForExactly(*bob, "APPLICATION corvane STREAMS alice:1"));
        alice->Notifications().Clear();
    }

    // The next packet of bob's stream from alice.
    std::string Read() {
        std::string command = "ALTER APPLICATION corvane READ alice:1";
        std::string reply = bob->Command(command).value_or("");
        return reply.size() > command.size() ? reply.substr(command.size() + 1) : std::string();
    }
    void Write(std::string const& text) {
        EXPECT_EQ(alice->Command("ALTER APPLICATION corvane WRITE bob:1 " + text),
                  "ALTER APPLICATION corvane WRITE bob:1");
    }

    skypesim::SkypeSimulator first;
    skypesim::SkypeSimulator second;
    std::unique_ptr<RawClient> alice;
    std::unique_ptr<RawClient> bob;
};

INSTANTIATE_TEST_SUITE_P(OnOneOrTwoMachines, StreamTest, ::testing::Bool());

// The send buffer drains at the account's rate, reported as it counts down (at most one report
// per 15 ms) and once more without the stream when empty; a link adds its latency on top.
TEST_P(StreamTest, SendBufferDrainsAtTheAccountsRate) {
    first.SetRate("alice", 200000);
    auto start = Clock::now();
    Write(std::string(100000, 'r'));
    std::vector<std::string> reports;
    for (;;) {
        std::optional<std::string> report = alice->Notifications().Pop(3000);
        ASSERT_TRUE(report);
        if (*report == "APPLICATION corvane SENDING") {
            break;
        }
        reports.push_back(*report);
    }
    EXPECT_GT(MsSince(start), 400);
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_TRUE(WaitForExactly(*bob, "APPLICATION corvane RECEIVED alice:1=100000"));
    EXPECT_EQ(Read(), std::string(100000, 'r'));

    ASSERT_GE(reports.size(), 5u);
    EXPECT_LE(reports.size(), 40u);
    std::string const prefix = "APPLICATION corvane SENDING bob:1=";
    EXPECT_EQ(reports.front(), prefix + "100000");
    for (std::size_t i = 1; i < reports.size(); ++i) {
        EXPECT_LT(std::stol(reports[i].substr(prefix.size())),
                  std::stol(reports[i - 1].substr(prefix.size())))
            << reports[i];
    }

    if (GetParam()) {
        first.SetLinkLatency(300);
        start = Clock::now();
        ASSERT_TRUE(alice->Send("ALTER APPLICATION corvane DATAGRAM bob:1 late"));
        EXPECT_TRUE(WaitForExactly(*bob, "APPLICATION corvane DATAGRAM alice:1 late"));
        EXPECT_GE(MsSince(start), 290);
    }
}

// A receiver that does not read holds its sender back once it has a window's worth unread: the
// packet that crosses the window arrives, the next waits for the READ that brings the receiver
// below the window (over a link, the READ travels back).
TEST_P(StreamTest, AnUnreadReceiverHoldsTheSenderBack) {
    std::string const packet(40000, 'w');
    for (int i = 0; i < 3; ++i) {
        Write(packet);
    }
    std::string last;
    while (std::optional<std::string> next = alice->Notifications().Pop(300)) {
        last = *next;
    }
    EXPECT_EQ(last, "APPLICATION corvane SENDING bob:1=40000");
    EXPECT_TRUE(WaitForExactly(*bob, "APPLICATION corvane RECEIVED alice:1=40000"));
    EXPECT_EQ(Read(), packet);
    EXPECT_TRUE(WaitForExactly(*alice, "APPLICATION corvane SENDING"));
    std::string received;
    for (Clock::time_point start = Clock::now();
         received.size() < 2 * packet.size() && MsSince(start) < kWait;) {
        std::string const next = Read();
        received += next;
        Sleep(next.empty() ? 20 : 0);
    }
    EXPECT_EQ(received, packet + packet) << "the held packet arrives after the READ";
}

}  // namespace
}  // namespace skypesim_test
