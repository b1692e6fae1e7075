#include "LogCapture.h"
#include "SkypeTestSupport.h"
#include "WorkerThread.h"
#include "skype/SkypeCommand.h"

namespace skype_test {
namespace {

using CommandTest = ClientTest;

TEST_F(CommandTest, RepliesReachTheirOwnCommandsWhileSeveralThreadsWait) {
    constexpr int kUsers = 8;
    for (int i = 0; i < kUsers; ++i) {
        AddContact("user" + std::to_string(i));
    }
    Attach();
    // Some replies are overtaken by later ones.
    sim->DelayReplies(me, 150, "GET USER user0");
    sim->DelayReplies(me, 60, "GET USER user5");
    for (int round = 0; round < 3; ++round) {
        std::vector<std::string> replies(kUsers);
        std::vector<WorkerThread> threads;
        for (int i = 0; i < kUsers; ++i) {
            threads.emplace_back([this, &replies, i] {
                try {
                    replies[i] =
                        client->SendCommand("GET USER user" + std::to_string(i) + " FULLNAME", false);
                } catch (std::exception const& error) {
                    replies[i] = error.what();
                }
            });
        }
        for (int i = 0; i < kUsers; ++i) {
            threads[i].Join();
            std::string user = "user" + std::to_string(i);
            EXPECT_EQ(replies[i], "USER " + user + " FULLNAME " + user + " Example") << round;
        }
    }
}

// A lost reply times out, an error reply raises; a reply after its time-out, a reply nobody
// waits for and a text that only looks like one are dropped without a word.
TEST_F(CommandTest, TimeOutsErrorRepliesAndLateReplies) {
    LogCapture log;
    Attach();
    sim->DropReplies(me, 1, "PING");
    SkypeCommand lost("PING", 100);
    ExpectSkypeError([&] { client->Send(lost); }, "Command timeout: " + lost.GetText());
    sim->FailCommands(me, "PING", "ERROR 99 PING: broken", 1);
    ExpectSkypeError([&] { client->SendCommand("PING", false); }, "Command error: ERROR 99 PING: broken");
    EXPECT_NO_THROW(client->Send("PING", "PONG", 1000));
    ExpectSkypeError([&] { client->Send("PING", "PANG", 1000); }, "Unexpected response");

    sim->DelayReplies(me, 300, "PING");
    std::string lateId;
    {
        auto command = std::make_unique<SkypeCommand>("PING", 30);
        lateId = command->GetId();
        EXPECT_THROW(client->Send(*command), SkypeError);
    }  // gone long before its reply
    // Delayed as well, so its reply comes after the late one.
    EXPECT_EQ(client->SendCommand("PING", false), "PONG");
    EXPECT_TRUE(log.Contains("S=>: " + lateId + "PONG"));

    HWND messenger = sim->Window(me);
    EXPECT_EQ(SendText(client->GetWindowHandle(), messenger, "#zz PONG"), 1);
    EXPECT_EQ(SendText(client->GetWindowHandle(), messenger, "#noblank"), 1);
    EXPECT_EQ(EventsOf("USER bob ONLINESTATUS ONLINE"), std::vector<std::string>{"status bob 1"});
    EXPECT_EQ(log.Count("Processing reply #"), 0);
}

}  // namespace
}  // namespace skype_test
