#include <chrono>
#include <vector>

#include "LogCapture.h"
#include "SkypeTestSupport.h"
#include "foundation/Thread.h"

namespace skype_test {
namespace {

using NotificationTest = ClientTest;

TEST_F(NotificationTest, EveryFormRaisesItsEvent) {
    struct Case {
        char const* text;
        std::vector<std::string> events;
        char const* logged;  // null: nothing expected in the log
    } const cases[] = {
        {"APPLICATION corvane STREAMS alice:1 bob:3", {"streams corvane alice:1 bob:3"}, nullptr},
        {"APPLICATION corvane STREAMS  alice:1   bob:3:4", {"streams corvane alice:1 bob:3:4"}, nullptr},
        {"APPLICATION corvane STREAMS alice:1 alice", {}, "Invalid name/id pair: alice"},
        {"APPLICATION corvane RECEIVED alice:2=120 bob:7=1", {"received corvane alice:2 bob:7"}, nullptr},
        {"APPLICATION corvane RECEIVED alice:2", {}, "Invalid name/id pair: 2"},
        {"APPLICATION corvane RECEIVED", {}, nullptr},
        {"APPLICATION corvane SENDING alice:1=5000 bob:2=x",
         {"sending corvane alice:1=5000 bob:2=0"},
         nullptr},
        {"APPLICATION corvane SENDING", {"sending corvane"}, nullptr},
        {"APPLICATION corvane DATAGRAM alice:2 hello world",
         {"datagram corvane alice:2 hello world"},
         nullptr},
        {"APPLICATION corvane DATAGRAM alice:2", {"datagram corvane alice:2 "}, nullptr},
        {"APPLICATION corvane DATAGRAM alice hello", {}, "Invalid name/id pair: alice"},
        {"APPLICATION corvane CONNECTING bob", {}, nullptr},
        {"APPLICATION corvane", {}, "Invalid property data from Skype: APPLICATION corvane"},
        {"USER alice ONLINESTATUS AWAY", {"status alice 2"}, nullptr},
        {"USER alice ONLINESTATUS LOGGEDOUT", {"status alice 6"}, nullptr},
        {"USER alice ONLINESTATUS online", {"status alice -1"}, nullptr},
        {"USER alice ONLINESTATUS", {}, nullptr},
        {"USER alice FULLNAME Alice Example", {}, nullptr},
        {"USER alice", {}, "Invalid property data from Skype: USER alice"},
        {"CONNSTATUS ONLINE", {}, nullptr},
        {"attach", {"attach 1"}, nullptr},
    };
    Attach();
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text);
        LogCapture log;
        EXPECT_EQ(EventsOf(c.text), c.events);
        if (c.logged) {
            EXPECT_TRUE(log.Contains(c.logged));
        }
    }
    EXPECT_EQ(client->GetAttachStatus(), ISkypeClient::AttachSuccess);

    // The handle the messenger names is the current user from then on.
    EXPECT_EQ(EventsOf("CURRENTUSERHANDLE carol"), std::vector<std::string>{"current carol"});
    EXPECT_EQ(client->GetCurrentUser(), "carol");
    EXPECT_EQ(EventsOf("currentuser"), std::vector<std::string>{"current carol"});
}

// Throws what the datagram's data names.
void ThrowingHandler(std::string const&, ISkypeEvents::AppDatagramData const& datagram) {
    if (std::string(datagram.data) == "number") {
        throw 42;
    }
    throw std::runtime_error(datagram.data);
}

TEST_F(NotificationTest, AFailingHandlerStopsNeitherTheThreadNorTheBatch) {
    LogCapture log;
    Attach();
    client->OnAppDatagram.Add(&ThrowingHandler);
    sim->InjectNotification(me, "APPLICATION corvane DATAGRAM bob:1 number");
    sim->InjectNotification(me, "APPLICATION corvane DATAGRAM bob:1 words");
    EXPECT_EQ(EventsOf("USER bob ONLINESTATUS AWAY"),
              (std::vector<std::string>{"datagram corvane bob:1 number", "datagram corvane bob:1 words",
                                        "status bob 2"}));
    client->OnAppDatagram.Remove(&ThrowingHandler);
    EXPECT_TRUE(
        log.Contains("UNHANDLED ERROR processing Skype reply `APPLICATION corvane DATAGRAM bob:1 number`"));
    EXPECT_TRUE(
        log.Contains("ERROR processing Skype reply `APPLICATION corvane DATAGRAM bob:1 words`: words"));
}

// Idle ticks come on "SkypeEvent" at its high priority, and a handler that throws does not end
// them. Nominally 20 a second; a loaded machine delays ticks but never adds any (exact figures:
// the bench).
TEST_F(NotificationTest, IdleTicksComeAboutTwentyTimesASecond) {
    LogCapture log;
    NewClient();
    struct Watch : RecordLog {
        void OnIdle() {
            Add("tick " + Thread::GetCurrentThreadName() + " " +
                std::to_string(GetThreadPriority(GetCurrentThread())));
            throw std::runtime_error("tick");  // must not end the ticks
        }
    } watch;
    client->OnIdle.Add(MakeDelegate<&Watch::OnIdle>(&watch));
    auto start = std::chrono::steady_clock::now();
    bool came = watch.WaitFor("tick SkypeEvent " + std::to_string(THREAD_PRIORITY_HIGHEST), 10000, 21);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    recorder.reset();
    client.reset();
    ASSERT_TRUE(came);
    EXPECT_GT(seconds, 20 / 22.0);
    EXPECT_LT(seconds, 20 / 8.0);
    EXPECT_TRUE(log.Contains("ERROR in Skype idle handler: tick"));
}

}  // namespace
}  // namespace skype_test
