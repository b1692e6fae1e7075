#include <chrono>

#include "SimTestSupport.h"

namespace skypesim_test {
namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Two simulators in this process linked over loopback, as two machines' would be: alice lives
// on the first, bob on the second; each has the application "corvane" open. The
// machines tests use the link end to end (messages, a cut, a broken message, linking again).
class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        AccountConfig aliceConfig = UniqueAccount("alice");
        AccountConfig bobConfig = UniqueAccount("bob");
        first.AddAccount(aliceConfig);
        second.AddAccount(bobConfig);
        unsigned short port = first.Listen(0);
        ASSERT_NE(port, 0);
        ASSERT_TRUE(second.LinkTo("127.0.0.1", port, kWait));
        ASSERT_TRUE(first.LinkEvents().WaitFor("link up", kWait, true));
        alice = ClientFor(aliceConfig);
        bob = ClientFor(bobConfig);
        ASSERT_TRUE(alice->Attach(kWait));
        ASSERT_TRUE(bob->Attach(kWait));
        ASSERT_TRUE(alice->Command("CREATE APPLICATION corvane"));
        ASSERT_TRUE(bob->Command("CREATE APPLICATION corvane"));
        ASSERT_TRUE(alice->Command("ALTER APPLICATION corvane CONNECT bob"));
        ASSERT_TRUE(WaitForExactly(*alice, "APPLICATION corvane STREAMS bob:1"));
        ASSERT_TRUE(WaitForExactly(*bob, "APPLICATION corvane STREAMS alice:1"));
    }

    std::string Read() {
        std::string command = "ALTER APPLICATION corvane READ alice:1";
        std::string reply = bob->Command(command).value_or("");
        return reply.size() > command.size() ? reply.substr(command.size() + 1) : std::string();
    }

    SkypeSimulator first;
    SkypeSimulator second;
    std::unique_ptr<RawClient> alice;
    std::unique_ptr<RawClient> bob;
};

// The writer's rate drains its buffer on its own machine; the link adds its latency on top.
TEST_F(LinkTest, RateAppliesAtTheSenderAndLatencyOnTheWay) {
    first.SetRate("alice", 200000);
    Clock::time_point start = Clock::now();
    ASSERT_TRUE(alice->Command("ALTER APPLICATION corvane WRITE bob:1 " + std::string(100000, 'r')));
    EXPECT_TRUE(WaitForExactly(*bob, "APPLICATION corvane RECEIVED alice:1=100000"));
    EXPECT_GE(MsSince(start), 400);

    first.SetLinkLatency(300);
    start = Clock::now();
    ASSERT_TRUE(alice->Send("ALTER APPLICATION corvane DATAGRAM bob:1 late"));
    EXPECT_TRUE(WaitForExactly(*bob, "APPLICATION corvane DATAGRAM alice:1 late"));
    EXPECT_GE(MsSince(start), 290);
}

// Over the link too, a receiver that does not read holds its sender back; the READ travels
// back and lets the next packet go.
TEST_F(LinkTest, AnUnreadReceiverOnTheOtherMachineHoldsTheSenderBack) {
    std::string const packet(40000, 'w');
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(alice->Command("ALTER APPLICATION corvane WRITE bob:1 " + packet));
    }
    EXPECT_EQ(LastNotification(*alice), "APPLICATION corvane SENDING bob:1=40000");
    EXPECT_TRUE(WaitForExactly(*bob, "APPLICATION corvane RECEIVED alice:1=40000"));
    EXPECT_EQ(Read().size(), packet.size());
    EXPECT_TRUE(WaitForExactly(*alice, "APPLICATION corvane SENDING"));
    std::size_t received = 0;
    for (Clock::time_point start = Clock::now(); received < 2 * packet.size() && MsSince(start) < kWait;) {
        std::size_t const size = Read().size();
        received += size;
        Sleep(size ? 0 : 20);
    }
    EXPECT_EQ(received, 2 * packet.size()) << "the held packet arrives after the READ";
}

}  // namespace
}  // namespace skypesim_test
