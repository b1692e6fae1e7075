#include <chrono>

#include "SimTestSupport.h"
#include "skypesim/LinkMessage.h"
#include "skypesim/LinkSocket.h"

namespace skypesim_test {
namespace {

using Clock = std::chrono::steady_clock;
using skypesim::LinkMessage;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Two simulators in this process linked over loopback, as two machines' would be: alice and
// carol live on the first, bob on the second; each has the application "corvane" open.
class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        aliceConfig = UniqueAccount("alice", "Alice Example");
        aliceConfig.friends = {"bob"};
        bobConfig = UniqueAccount("bob", "Bob Example");
        first.AddAccount(aliceConfig);
        first.AddAccount(UniqueAccount("carol"));
        second.AddAccount(bobConfig);
        port = first.Listen(0);
        ASSERT_NE(port, 0);
        Link();
        alice = ClientFor(aliceConfig);
        bob = ClientFor(bobConfig);
        ASSERT_TRUE(alice->Attach(kWait));
        ASSERT_TRUE(bob->Attach(kWait));
        ASSERT_TRUE(alice->Command("CREATE APPLICATION corvane"));
        ASSERT_TRUE(bob->Command("CREATE APPLICATION corvane"));
    }

    void Link() {
        ASSERT_TRUE(second.LinkTo("127.0.0.1", port, kWait));
        EXPECT_TRUE(first.LinkEvents().WaitFor("link up", kWait, true));
        EXPECT_TRUE(second.LinkEvents().WaitFor("link up", kWait, true));
    }

    // alice connects to bob; both see the stream with the id `id` (each side counts its own ids).
    void OpenStream(int id = 1) {
        ASSERT_EQ(alice->Command("ALTER APPLICATION corvane CONNECT bob"),
                  "ALTER APPLICATION corvane CONNECT bob");
        EXPECT_TRUE(WaitForExactly(*alice, "APPLICATION corvane CONNECTING bob"));
        ASSERT_TRUE(WaitForExactly(*alice, "APPLICATION corvane STREAMS bob:" + std::to_string(id)));
        ASSERT_TRUE(WaitForExactly(*bob, "APPLICATION corvane STREAMS alice:" + std::to_string(id)));
    }

    std::string Read(RawClient& client, std::string const& stream) {
        std::string command = "ALTER APPLICATION corvane READ " + stream;
        std::string reply = client.Command(command).value_or("");
        return reply.size() > command.size() ? reply.substr(command.size() + 1) : std::string();
    }

    SkypeSimulator first;
    SkypeSimulator second;
    AccountConfig aliceConfig;
    AccountConfig bobConfig;
    unsigned short port = 0;
    std::unique_ptr<RawClient> alice;
    std::unique_ptr<RawClient> bob;
};

TEST_F(LinkTest, AccountsOfBothMachinesFormOneNetwork) {
    EXPECT_EQ(alice->Command("SEARCH FRIENDS"), "USERS bob");
    EXPECT_EQ(bob->Command("SEARCH FRIENDS"), "USERS alice");  // friendship is mutual across the link
    EXPECT_EQ(alice->Command("GET USER bob FULLNAME"), "USER bob FULLNAME Bob Example");
    EXPECT_EQ(bob->Command("GET USER carol ONLINESTATUS"), "USER carol ONLINESTATUS ONLINE");
    second.SetOnlineStatus("bob", "AWAY");
    EXPECT_TRUE(WaitForExactly(*alice, "USER bob ONLINESTATUS AWAY"));
    EXPECT_EQ(alice->Command("GET USER bob ONLINESTATUS"), "USER bob ONLINESTATUS AWAY");

    OpenStream();
    // Connecting again from the other side reuses the stream.
    ASSERT_TRUE(bob->Command("ALTER APPLICATION corvane CONNECT alice"));
    EXPECT_TRUE(WaitForExactly(*alice, "APPLICATION corvane STREAMS bob:1"));
    EXPECT_TRUE(WaitForExactly(*bob, "APPLICATION corvane STREAMS alice:1"));

    std::string const big(1 << 20, 'm');
    for (std::string const& packet : {big, std::string("after the big one")}) {
        EXPECT_EQ(alice->Command("ALTER APPLICATION corvane WRITE bob:1 " + packet),
                  "ALTER APPLICATION corvane WRITE bob:1");
    }
    EXPECT_TRUE(WaitForExactly(*bob, "APPLICATION corvane RECEIVED alice:1=1048576"));
    EXPECT_EQ(Read(*bob, "alice:1"), big);
    EXPECT_TRUE(WaitForExactly(*bob, "APPLICATION corvane RECEIVED alice:1=17"));
    EXPECT_EQ(Read(*bob, "alice:1"), "after the big one");

    EXPECT_TRUE(bob->Send("ALTER APPLICATION corvane DATAGRAM alice:1 a datagram"));
    EXPECT_TRUE(WaitForExactly(*alice, "APPLICATION corvane DATAGRAM bob:1 a datagram"));

    // Disconnecting on one machine closes the other's end too.
    EXPECT_TRUE(bob->Command("ALTER APPLICATION corvane DISCONNECT alice:1"));
    EXPECT_TRUE(WaitForExactly(*alice, "APPLICATION corvane STREAMS"));
    EXPECT_TRUE(WaitForExactly(*bob, "APPLICATION corvane STREAMS"));
}

// The writer's rate drains its buffer on its own machine; the link adds its latency on top.
TEST_F(LinkTest, RateAppliesAtTheSenderAndLatencyOnTheWay) {
    OpenStream();
    first.SetRate(aliceConfig.handle, 200000);
    Clock::time_point start = Clock::now();
    ASSERT_TRUE(alice->Command("ALTER APPLICATION corvane WRITE bob:1 " + std::string(100000, 'r')));
    EXPECT_TRUE(alice->WaitForNotification("APPLICATION corvane SENDING bob:1=", kWait));
    EXPECT_TRUE(WaitForExactly(*bob, "APPLICATION corvane RECEIVED alice:1=100000"));
    EXPECT_GE(MsSince(start), 400);
    EXPECT_TRUE(WaitForExactly(*alice, "APPLICATION corvane SENDING"));

    first.SetLinkLatency(300);
    start = Clock::now();
    ASSERT_TRUE(alice->Send("ALTER APPLICATION corvane DATAGRAM bob:1 late"));
    EXPECT_TRUE(WaitForExactly(*bob, "APPLICATION corvane DATAGRAM alice:1 late"));
    EXPECT_GE(MsSince(start), 290);
}

// Over the link too, a receiver that does not read holds its sender back; the READ travels
// back and lets the next packet go.
TEST_F(LinkTest, AnUnreadReceiverOnTheOtherMachineHoldsTheSenderBack) {
    OpenStream();
    std::string const packet(40000, 'w');
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(alice->Command("ALTER APPLICATION corvane WRITE bob:1 " + packet));
    }
    EXPECT_EQ(LastNotification(*alice), "APPLICATION corvane SENDING bob:1=40000");
    EXPECT_TRUE(WaitForExactly(*bob, "APPLICATION corvane RECEIVED alice:1=40000"));
    EXPECT_EQ(Read(*bob, "alice:1").size(), packet.size());
    EXPECT_TRUE(WaitForExactly(*alice, "APPLICATION corvane SENDING"));
    std::size_t received = 0;
    for (Clock::time_point start = Clock::now(); received < 2 * packet.size() && MsSince(start) < kWait;) {
        std::size_t const size = Read(*bob, "alice:1").size();
        received += size;
        Sleep(size ? 0 : 20);
    }
    EXPECT_EQ(received, 2 * packet.size()) << "the held packet arrives after the READ";
}

// A cut link is seen on both machines as the contact going offline; linking again brings the
// contacts back and streams can open again.
TEST_F(LinkTest, CutLinkClosesStreamsOnBothSidesUntilLinkedAgain) {
    OpenStream();
    first.CutLink();
    EXPECT_EQ(first.LinkEvents().Pop(kWait), "link down: cut on command");
    EXPECT_EQ(second.LinkEvents().Pop(kWait), "link down: closed by the other side");
    for (auto* side : {alice.get(), bob.get()}) {
        EXPECT_TRUE(WaitForExactly(*side, "APPLICATION corvane STREAMS"));
    }
    EXPECT_TRUE(WaitForExactly(*alice, "USER bob ONLINESTATUS OFFLINE"));
    EXPECT_TRUE(WaitForExactly(*bob, "USER alice ONLINESTATUS OFFLINE"));
    EXPECT_EQ(alice->Command("GET USER bob ONLINESTATUS"), "USER bob ONLINESTATUS OFFLINE");
    EXPECT_EQ(alice->Command("ALTER APPLICATION corvane WRITE bob:1 x"),
              "ERROR 545 ALTER APPLICATION: Invalid stream");

    Link();
    EXPECT_TRUE(WaitForExactly(*alice, "USER bob ONLINESTATUS ONLINE"));
    OpenStream(2);
}

// A peer that breaks the link's rules loses the link; the simulator goes on serving its clients
// and accepts the next peer.
TEST_F(LinkTest, BrokenLinkMessagesCloseTheLinkOnly) {
    std::string const hello = LinkMessage({"HELLO", "1"}).Encode();
    std::string fieldTooLong;
    LinkMessage::AppendLength(fieldTooLong, 8);
    LinkMessage::AppendLength(fieldTooLong, 1000);
    fieldTooLong += "DATA";
    struct Case {
        char const* name;
        std::string bytes;
        char const* reason;
    } const cases[] = {
        {"no greeting", LinkMessage({"READY"}).Encode(), "expected HELLO 1 first"},
        {"other version", LinkMessage({"HELLO", "2"}).Encode(), "expected HELLO 1 first"},
        {"unknown kind", hello + LinkMessage({"BOGUS"}).Encode(), "unknown kind"},
        {"wrong field count", hello + LinkMessage({"CLOSE", "corvane"}).Encode(), "CLOSE with 1 fields"},
        {"huge length", hello + std::string("\xf0\xff\xff\xff", 4), "bytes announced"},
        {"field past its frame", hello + fieldTooLong, "runs past the end"},
        {"half a frame",
         hello + std::string("\x64\x00\x00\x00"
                             "abc",
                             7),
         "closed half-way"},
        {"account living here", hello + LinkMessage({"ACCOUNT", "alice", "A", "ONLINE", ""}).Encode(),
         "lives on both machines"},
        {"invalid handle", hello + LinkMessage({"ACCOUNT", "a b", "A", "ONLINE", ""}).Encode(),
         "invalid handle"},
        {"status of two words", hello + LinkMessage({"ACCOUNT", "zed", "Z", "ON LINE", ""}).Encode(),
         "out of bounds"},
        {"too many friends",
         hello + LinkMessage({"ACCOUNT", "zed", "Z", "ONLINE", std::string(1000, ',')}).Encode(),
         "out of bounds"},
        {"stranger's data", hello + LinkMessage({"DATA", "corvane", "zed", "alice", "x"}).Encode(),
         "no account of the other side"},
    };
    second.CutLink();
    ASSERT_TRUE(first.LinkEvents().WaitFor("link down", kWait, true));
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        SOCKET peer = skypesim::ConnectTo("127.0.0.1", port, kWait, error);
        ASSERT_NE(peer, INVALID_SOCKET) << error;
        send(peer, c.bytes.data(), static_cast<int>(c.bytes.size()), 0);
        if (std::string(c.name) == "half a frame") {
            shutdown(peer, SD_SEND);
        }
        std::optional<std::string> down = first.LinkEvents().WaitFor("link down", kWait, true);
        ASSERT_TRUE(down);
        EXPECT_NE(down->find(c.reason), std::string::npos) << *down;
        // The simulator closed its side: reading ends after what it sent.
        char buffer[4096];
        int got = 1;
        for (Clock::time_point start = Clock::now(); got > 0 && MsSince(start) < kWait;) {
            got = skypesim::WaitReadable(peer, kWait) ? recv(peer, buffer, sizeof(buffer), 0) : 1;
        }
        EXPECT_LE(got, 0);
        closesocket(peer);
        EXPECT_EQ(alice->Command("PING"), "PONG");
    }
    Link();
    OpenStream();
}

}  // namespace
}  // namespace skypesim_test
