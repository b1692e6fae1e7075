#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "LogCapture.h"
#include "RecordLog.h"
#include "SimulatedPeers.h"
#include "SkypeTestSupport.h"
#include "skype/SkypeApplication.h"

namespace {

using skype_test::ExpectSkypeError;
using skype_test::kWait;
using skype_test::Toggle;

// The events of one application as lines ("success bob", "failure bob", "finished bob",
// "data bob <text>"), plus the client's status reports, which the tests use as markers.
class AppRecorder : public RecordLog {
public:
    AppRecorder(SkypeApplication& application, ISkypeClient& client)
        : mApplication(application), mClient(client) {
        Subscribe(true);
    }
    ~AppRecorder() { Subscribe(false); }

private:
    void Subscribe(bool on) {
        Toggle(mApplication.OnConnectSuccess, MakeDelegate<&AppRecorder::OnSuccess>(this), on);
        Toggle(mApplication.OnConnectFailure, MakeDelegate<&AppRecorder::OnFailure>(this), on);
        Toggle(mApplication.OnSendingFinished, MakeDelegate<&AppRecorder::OnFinished>(this), on);
        Toggle(mApplication.OnDataReceived, MakeDelegate<&AppRecorder::OnData>(this), on);
        Toggle(mClient.OnUserStatus, MakeDelegate<&AppRecorder::OnStatus>(this), on);
    }
    void OnSuccess(std::string const& user, ISkypeApplication*) { Add("success " + user); }
    void OnFailure(std::string const& user, ISkypeApplication*) { Add("failure " + user); }
    void OnFinished(std::string const& user, ISkypeApplication*) { Add("finished " + user); }
    void OnData(std::string const& user, char const* text) { Add("data " + user + " " + text); }
    void OnStatus(std::string const& user, ISkypeClient::UserStatus) { Add("marker " + user); }

    SkypeApplication& mApplication;
    ISkypeClient& mClient;
};

class SkypeApplicationTest : public ::testing::Test {
protected:
    SkypeApplicationTest() : peers({"alice", "bob", "carol"}) {}

    void SetUp() override {
        ASSERT_TRUE(peers.Attach("alice"));
        ASSERT_TRUE(peers.Attach("bob"));
    }

    // The user's application "corvane", with a recorder of its events.
    SkypeApplication* Open(std::string const& user) {
        apps[user] = std::make_unique<SkypeApplication>(&peers.Client(user), "corvane");
        recorders[user] = std::make_unique<AppRecorder>(*apps[user], peers.Client(user));
        return apps[user].get();
    }

    // Destroys the user's application (and its recorder first).
    void Close(std::string const& user) {
        recorders.erase(user);
        apps.erase(user);
    }

    // Sends `notifications` to alice's client and gives the application events they raised.
    std::vector<std::string> EventsOf(std::vector<std::string> const& notifications) {
        static int marker = 0;
        std::string const name = "m" + std::to_string(++marker);
        for (std::string const& text : notifications) {
            peers.Simulator().InjectNotification("alice", text);
        }
        peers.Simulator().InjectNotification("alice", "USER " + name + " ONLINESTATUS ONLINE");
        std::vector<std::string> events = recorders["alice"]->TakeThrough("marker " + name, kWait);
        EXPECT_FALSE(events.empty()) << "the marker did not come";
        if (!events.empty()) {
            events.pop_back();
        }
        return events;
    }

    // Destroyed in reverse: recorders, then applications, then the network.
    SimulatedPeers peers;
    std::map<std::string, std::unique_ptr<SkypeApplication>> apps;
    std::map<std::string, std::unique_ptr<AppRecorder>> recorders;
};

using Events = std::vector<std::string>;

TEST_F(SkypeApplicationTest, StreamListsOpenChangeAndCloseConnections) {
    auto app = Open("alice");
    EXPECT_EQ(EventsOf({"APPLICATION corvane STREAMS bob:1"}), Events{"success bob"});
    EXPECT_TRUE(app->IsConnected("bob"));
    EXPECT_EQ(EventsOf({"APPLICATION corvane STREAMS bob:1", "APPLICATION other STREAMS"}), Events{});
    EXPECT_EQ(EventsOf({"APPLICATION corvane STREAMS bob:2 carol:4"}),
              (Events{"success bob", "success carol"}));
    EXPECT_EQ(EventsOf({"APPLICATION corvane STREAMS carol:4"}), Events{"failure bob"});
    EXPECT_FALSE(app->IsConnected("bob"));

    // A user listed twice keeps the last id.
    EXPECT_EQ(EventsOf({"APPLICATION corvane STREAMS carol:4 bob:5 bob:6"}), Events{"success bob"});
    app->SendDatagram("bob", "x");
    EXPECT_TRUE(
        peers.Simulator().WaitForCommand("alice", "ALTER APPLICATION corvane DATAGRAM bob:6 x", kWait));

    // A vanished stream also forgets the request; writing to it raises before anything is sent.
    app->Connect("bob");
    EXPECT_EQ(EventsOf({"APPLICATION corvane STREAMS"}), (Events{"failure bob", "failure carol"}));
    peers.Simulator().ClearCommands("alice");
    ExpectSkypeError([&] { app->Write("bob", "hello"); }, "AP2AP: User not registered: bob");
    ExpectSkypeError([&] { app->SendDatagram("bob", "hello"); }, "AP2AP: User not registered: bob");
    ExpectSkypeError([&] { app->Disconnect("bob"); }, "Connection for user bob is not requested");
    EXPECT_TRUE(peers.Simulator().Commands("alice").empty());
}

TEST_F(SkypeApplicationTest, SendStatesDecideWhenAStreamHasDrained) {
    auto app = Open("alice");
    EventsOf({"APPLICATION corvane STREAMS bob:1"});
    EXPECT_EQ(EventsOf({"APPLICATION corvane SENDING bob:1=5000", "APPLICATION corvane SENDING bob:1=3000"}),
              Events{});
    EXPECT_EQ(app->GetSendingSize("bob"), 3000);
    EXPECT_EQ(EventsOf({"APPLICATION corvane SENDING bob:1=1500"}), Events{"finished bob"});
    // Below the threshold already: a report of 0 is no news, but a stream no longer listed is.
    EXPECT_EQ(EventsOf({"APPLICATION corvane SENDING bob:1=0"}), Events{});
    EXPECT_EQ(EventsOf({"APPLICATION corvane SENDING bob:1=1500", "APPLICATION corvane SENDING"}),
              Events{"finished bob"});
    EXPECT_EQ(app->GetSendingSize("bob"), 0);
    // The threshold is 2000 bytes exactly: 2000 still waits, 1999 has drained.
    EXPECT_EQ(EventsOf({"APPLICATION corvane SENDING bob:1=5000", "APPLICATION corvane SENDING bob:1=2000"}),
              Events{});
    EXPECT_EQ(EventsOf({"APPLICATION corvane SENDING bob:1=1999"}), Events{"finished bob"});

    LogCapture log;
    EXPECT_EQ(app->GetSendingSize("carol"), 0);
    EXPECT_TRUE(log.Contains("AP2AP: corvane User not registered: carol"));
}

TEST_F(SkypeApplicationTest, ThroughputIsMeasuredOverSixBursts) {
    auto app = Open("alice");
    EventsOf({"APPLICATION corvane STREAMS bob:1"});
    DWORD const started = GetTickCount();
    for (int burst = 1; burst <= 6; ++burst) {
        EventsOf({"APPLICATION corvane SENDING bob:1=10000"});
        Sleep(20);  // the burst's duration, measured by the application
        EventsOf({"APPLICATION corvane SENDING"});
        EXPECT_EQ(app->GetBandwidthInfo("bob").bytesPerSecond > 0, burst == 6) << "burst " << burst;
    }
    double const elapsed = (GetTickCount() - started) / 1000.0;
    int const throughput = app->GetBandwidthInfo("bob").bytesPerSecond;
    // 60000 bytes over bursts lasting at least 6 x 20 ms, and no longer than the whole test;
    // the margins are the clock's granularity and a loaded machine (exact figures: the bench).
    EXPECT_LE(throughput, 60000 / 0.06);
    EXPECT_GE(throughput, static_cast<int>(60000 / elapsed / 2));
    EXPECT_EQ(app->GetBandwidthInfo("carol").bytesPerSecond, 0);
}

// A handler that ends the application while it reports several lost connections: the
// application reports nothing more, and touches nothing of itself.
TEST_F(SkypeApplicationTest, AHandlerMayDeleteTheApplicationThatCalledIt) {
    Open("alice");
    EventsOf({"APPLICATION corvane STREAMS bob:1 carol:2"});
    using Self = std::remove_pointer_t<decltype(this)>;
    struct Closer {
        Self* test;
        int calls = 0;
        void OnFailure(std::string const&, ISkypeApplication*) {
            ++calls;
            test->Close("alice");
        }
    } closer{this};
    recorders.erase("alice");
    apps["alice"]->OnConnectFailure.Add(MakeDelegate<&Closer::OnFailure>(&closer));
    skype_test::EventRecorder client(peers.Client("alice"));
    peers.Simulator().InjectNotification("alice", "APPLICATION corvane STREAMS");
    peers.Simulator().InjectNotification("alice", "USER done ONLINESTATUS ONLINE");
    ASSERT_TRUE(client.WaitFor("status done 1"));
    EXPECT_EQ(closer.calls, 1);
    EXPECT_EQ(apps.count("alice"), 0u);
}

TEST_F(SkypeApplicationTest, DataIsTakenOnlyFromTheRegisteredStream) {
    auto app = Open("alice");
    LogCapture log;
    EventsOf({"APPLICATION corvane STREAMS bob:1"});
    EXPECT_EQ(
        EventsOf({"APPLICATION corvane DATAGRAM bob:2 not ours", "APPLICATION corvane DATAGRAM bob:1 ours"}),
        Events{"data bob ours"});
    EXPECT_TRUE(log.Contains("AP2AP: corvane User not registered: bob"));

    // Data from a requested user before the stream list: the stream is taken from the data.
    app->Connect("carol");
    EXPECT_EQ(EventsOf({"APPLICATION corvane DATAGRAM carol:7 early"}),
              (Events{"success carol", "data carol early"}));
    EXPECT_TRUE(log.Contains("AP2AP: receive without connect: connect success: carol"));
    // Not requested: dropped.
    EXPECT_EQ(EventsOf({"APPLICATION corvane DATAGRAM dave:3 who"}), Events{});
}

// Opening creates the application, or reuses one that exists already and learns its streams;
// closing disconnects every requested user and deletes it, failures only logged.
TEST_F(SkypeApplicationTest, TwoPeersExchangeTextBothWaysWithFlowControl) {
    peers.Simulator().SetRate("alice", 200000);
    peers.Simulator().ClearCommands("alice");
    auto alice = Open("alice");
    auto bob = Open("bob");
    alice->Connect("bob");
    ASSERT_TRUE(recorders["alice"]->WaitFor("success bob", kWait));
    ASSERT_TRUE(recorders["bob"]->WaitFor("success alice", kWait));
    std::vector<std::string> commands = peers.Simulator().Commands("alice");
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands[0], "GET APPLICATION corvane STREAMS");
    EXPECT_EQ(commands[1], "CREATE APPLICATION corvane");

    std::string const big(30000, 'z');
    alice->Write("bob", "first");
    alice->Write("bob", big);
    alice->Write("bob", "third: with colons and \\ backslashes");
    bob->Write("alice", "reply");
    bob->SendDatagram("alice", "a datagram");
    ASSERT_TRUE(recorders["bob"]->WaitFor("data alice third: with colons and \\ backslashes", kWait));
    ASSERT_TRUE(recorders["alice"]->WaitFor("data bob reply", kWait));
    ASSERT_TRUE(recorders["alice"]->WaitFor("data bob a datagram", kWait));
    Events received = recorders["bob"]->Records();
    received.erase(std::remove(received.begin(), received.end(), "finished alice"), received.end());
    EXPECT_EQ(received, (Events{"success alice", "data alice first", "data alice " + big,
                                "data alice third: with colons and \\ backslashes"}));
    // 30000 bytes at 200 KB/s: the send buffer drains, and the flow control says so.
    EXPECT_TRUE(recorders["alice"]->WaitFor("finished bob", kWait));

    // The probe times out (the reply comes late): the creation fails with 541 and the stream
    // list is asked for; the second application of the same name learns of bob's stream.
    peers.Simulator().DelayReplies("alice", 200, "GET APPLICATION");
    SkypeApplication second(&peers.Client("alice"), "corvane");
    AppRecorder secondEvents(second, peers.Client("alice"));
    EXPECT_TRUE(peers.Simulator().WaitForCommand("alice", "CREATE APPLICATION corvane", kWait));
    EXPECT_TRUE(secondEvents.WaitFor("success bob", kWait));
    peers.Simulator().DelayReplies("alice", 0, "GET APPLICATION");

    alice->Disconnect("bob");
    EXPECT_TRUE(recorders["bob"]->WaitFor("failure alice", kWait));
    EXPECT_FALSE(alice->IsConnected("bob"));

    LogCapture log;
    alice->Connect("carol");
    peers.Simulator().FailCommands("alice", "ALTER APPLICATION corvane DISCONNECT",
                                   "ERROR 545 no such stream");
    Close("alice");
    EXPECT_TRUE(log.Contains("Error in ~SkypeApplication: Command error: ERROR 545 no such stream"));
    EXPECT_TRUE(peers.Simulator().WaitForCommand("alice", "DELETE APPLICATION corvane", kWait));
}

}  // namespace
