#include <chrono>
#include <functional>

#include "SimTestSupport.h"

namespace skypesim_test {
namespace {

using Clock = std::chrono::steady_clock;

class StreamTest : public SimTest {
protected:
    void SetUp() override { OpenStreams(); }

    // Reads the next packet of a stream: the reply's text after "ALTER APPLICATION corvane READ <stream> ".
    std::optional<std::string> Read(std::string const& reader, std::string const& stream) {
        std::string command = "ALTER APPLICATION corvane READ " + stream;
        std::optional<std::string> reply = Client(reader).Command(command);
        if (!reply || reply->compare(0, command.size(), command) != 0) {
            ADD_FAILURE() << "READ replied " << reply.value_or("nothing");
            return std::nullopt;
        }
        return reply->size() > command.size() ? reply->substr(command.size() + 1) : std::string();
    }
    void Write(std::string const& writer, std::string const& stream, std::string const& text) {
        EXPECT_EQ(Client(writer).Command("ALTER APPLICATION corvane WRITE " + stream + " " + text),
                  "ALTER APPLICATION corvane WRITE " + stream);
    }
};

// Set-up opened the pair's stream; connecting again, from either side, reuses it. A contact
// that cannot answer is never connected.
TEST_F(StreamTest, ConnectOpensOneStreamSharedByBothSides) {
    RawClient& alice = Client("alice");
    EXPECT_EQ(Client("bob").Command("ALTER APPLICATION corvane CONNECT alice"),
              "ALTER APPLICATION corvane CONNECT alice");
    EXPECT_EQ(Client("bob").Notifications().Pop(kWait), "APPLICATION corvane CONNECTING alice");
    EXPECT_EQ(Client("bob").Notifications().Pop(kWait), "APPLICATION corvane STREAMS alice:1");
    EXPECT_EQ(alice.Notifications().Pop(kWait), "APPLICATION corvane STREAMS carol:1 bob:2");

    AddAttached("dave");  // without the application
    AccountConfig erin = UniqueAccount("erin");
    erin.running = false;
    sim->AddAccount(erin);
    for (std::string user : {"dave", "erin"}) {
        SCOPED_TRACE(user);
        EXPECT_TRUE(alice.Command("ALTER APPLICATION corvane CONNECT " + user));
        EXPECT_EQ(alice.Notifications().Pop(kWait), "APPLICATION corvane CONNECTING " + user);
        EXPECT_FALSE(alice.Notifications().Pop(kQuiet));
    }
    EXPECT_EQ(alice.Command("GET APPLICATION corvane STREAMS"), "APPLICATION corvane STREAMS carol:1 bob:2");
}

TEST_F(StreamTest, PacketsArriveWholeAndInOrderBothWays) {
    std::string const packets[] = {"first packet: with blanks  and a colon", std::string(70000, 'x') + "end",
                                   std::string(1500000, 'y'), "z"};
    for (std::string const& packet : packets) {
        Write("alice", "bob:2", packet);
    }
    // Bob hears of the data once, and again after each READ that leaves some.
    RawClient& bob = Client("bob");
    EXPECT_TRUE(bob.WaitForNotification("APPLICATION corvane RECEIVED alice:1=", kWait));
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        if (i > 0) {
            EXPECT_TRUE(bob.WaitForNotification("APPLICATION corvane RECEIVED alice:1=", kWait));
        }
        EXPECT_EQ(Read("bob", "alice:1"), packets[i]);
    }
    EXPECT_FALSE(bob.WaitForNotification("APPLICATION corvane RECEIVED", kQuiet));
    EXPECT_EQ(Read("bob", "alice:1"), "");  // nothing left

    Write("bob", "alice:1", "reply");
    Write("bob", "alice:1", "reply two");
    EXPECT_TRUE(WaitForExactly(Client("alice"), "APPLICATION corvane RECEIVED bob:2=5"));
    EXPECT_EQ(Read("alice", "bob:2"), "reply");
    EXPECT_TRUE(WaitForExactly(Client("alice"), "APPLICATION corvane RECEIVED bob:2=9"));
    EXPECT_EQ(Read("alice", "bob:2"), "reply two");

    std::size_t total = packets[0].size() + packets[1].size() + packets[2].size() + packets[3].size();
    EXPECT_EQ(sim->Counters("alice").bytesWritten, total);
    EXPECT_EQ(sim->Counters("bob").bytesRead, total);
    EXPECT_EQ(sim->Counters("bob").packetsRead, 4u);
    EXPECT_EQ(sim->Counters("alice").packetsRead, 2u);
}

TEST_F(StreamTest, SendBufferDrainsAtTheAccountsRate) {
    sim->SetRate("alice", 200000);
    RawClient& alice = Client("alice");
    auto start = Clock::now();
    Write("alice", "bob:2", std::string(100000, 'r'));
    std::vector<std::string> reports;  // before the one that no longer lists the stream
    for (;;) {
        std::optional<std::string> report = alice.Notifications().Pop(3000);
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

    // The reports counted down from the whole packet, at most one per 15 ms.
    std::string const prefix = "APPLICATION corvane SENDING bob:2=";
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
    RawClient& alice = Client("alice");
    std::string const packet(40000, 'w');
    for (int i = 0; i < 3; ++i) {
        Write("alice", "bob:2", packet);
    }
    EXPECT_EQ(LastNotification(alice), "APPLICATION corvane SENDING bob:2=40000");
    EXPECT_EQ(Read("bob", "alice:1").value_or("").size(), packet.size());
    EXPECT_TRUE(WaitForExactly(alice, "APPLICATION corvane SENDING"));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(Read("bob", "alice:1").value_or("").size(), packet.size());
    }
}

TEST_F(StreamTest, WithoutARateTheBufferIsReportedOnceAndDatagramsGoAtOnce) {
    RawClient& alice = Client("alice");
    Write("alice", "bob:2", "abc");
    EXPECT_EQ(alice.Notifications().Pop(kWait), "APPLICATION corvane SENDING bob:2=3");
    EXPECT_EQ(alice.Notifications().Pop(kWait), "APPLICATION corvane SENDING");

    sim->SetRate("alice", 1);  // datagrams pass by the send buffer
    EXPECT_EQ(alice.Command("ALTER APPLICATION corvane DATAGRAM bob:2 hello there"),
              "ALTER APPLICATION corvane DATAGRAM bob:2");
    EXPECT_TRUE(WaitForExactly(Client("bob"), "APPLICATION corvane DATAGRAM alice:1 hello there"));
    ASSERT_TRUE(alice.Send("ALTER APPLICATION corvane DATAGRAM bob:2 raw one"));
    EXPECT_TRUE(WaitForExactly(Client("bob"), "APPLICATION corvane DATAGRAM alice:1 raw one"));
    EXPECT_FALSE(alice.Notifications().Pop(kQuiet));
    EXPECT_EQ(sim->Counters("alice").datagrams, 2u);
}

TEST_F(StreamTest, ClosingAStreamTellsBothSides) {
    struct Case {
        char const* name;
        std::function<void()> close;
        bool aliceHearsStreams;
        char const* carolStreams;
    };
    Case const cases[] = {
        {"alice disconnects",
         [this] { Client("alice").Command("ALTER APPLICATION corvane DISCONNECT bob:2"); }, true,
         "APPLICATION corvane STREAMS alice:1"},
        {"bob disconnects", [this] { Client("bob").Command("ALTER APPLICATION corvane DISCONNECT alice:1"); },
         true, "APPLICATION corvane STREAMS alice:1"},
        {"alice deletes the application", [this] { Client("alice").Command("DELETE APPLICATION corvane"); },
         false, "APPLICATION corvane STREAMS"},
        {"alice's messenger vanishes", [this] { sim->Vanish("alice"); }, false,
         "APPLICATION corvane STREAMS"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        OpenStreams();
        Write("alice", "bob:2", "lost when the stream closes");
        c.close();
        EXPECT_TRUE(WaitForExactly(Client("bob"), "APPLICATION corvane STREAMS"));
        EXPECT_EQ(WaitForExactly(Client("alice"), "APPLICATION corvane STREAMS carol:1", kQuiet),
                  c.aliceHearsStreams);
        EXPECT_EQ(Client("bob").Command("ALTER APPLICATION corvane READ alice:1").value_or("").substr(0, 10),
                  "ERROR 545 ");
        EXPECT_EQ(Client("carol").Command("GET APPLICATION corvane STREAMS"), c.carolStreams);
    }
}

}  // namespace
}  // namespace skypesim_test
