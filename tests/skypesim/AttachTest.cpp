#include <chrono>

#include "SimTestSupport.h"

namespace skypesim_test {
namespace {

using skypesim::AttachStep;

TEST(AttachTest, DiscoverIsAnsweredWithTheAccountsStatus) {
    SkypeSimulator sim;
    for (int status : {0, 1, 2, 3, 0x8001}) {
        SCOPED_TRACE(status);
        AccountConfig config = UniqueAccount("user" + std::to_string(status));
        config.attachScript = {AttachStep{status, 0}};
        sim.AddAccount(config);
        auto client = ClientFor(config);
        client->Discover();
        EXPECT_EQ(client->WaitForAttach(status, kWait), sim.Window(config.handle));
        EXPECT_EQ(client->AttachReports().size(), 1u);
    }
}

TEST(AttachTest, ScriptedStatusesFollowEachOtherWithTheirDelays) {
    SkypeSimulator sim;
    AccountConfig config = UniqueAccount("alice");
    config.attachScript = {AttachStep{1, 0}, AttachStep{0, 200}};
    sim.AddAccount(config);
    auto client = ClientFor(config);
    auto start = std::chrono::steady_clock::now();
    client->Discover();
    ASSERT_TRUE(client->WaitForAttach(1, kWait));
    ASSERT_TRUE(client->WaitForAttach(0, kWait));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(180));
    auto reports = client->AttachReports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].status, 1);
    EXPECT_EQ(reports[1].status, 0);

    // A new script applies to the next discover; an empty one leaves the client unanswered.
    sim.SetAttachScript("alice", {AttachStep{2, 0}});
    client->Discover();
    EXPECT_TRUE(client->WaitForAttach(2, kWait));
    sim.SetAttachScript("alice", {});
    client->Discover();
    EXPECT_FALSE(client->WaitForAttach(3, kQuiet));
    EXPECT_EQ(client->AttachReports().size(), 3u);
}

TEST(AttachTest, EachAccountAnswersOnlyItsOwnDiscoverMessage) {
    SkypeSimulator sim;
    AccountConfig alice = UniqueAccount("alice");
    AccountConfig bob = UniqueAccount("bob");
    sim.AddAccount(alice);
    sim.AddAccount(bob);
    auto client = ClientFor(bob);
    ASSERT_TRUE(client->Attach(kWait));
    EXPECT_EQ(client->Messenger(), sim.Window("bob"));
    EXPECT_EQ(client->Command("GET CURRENTUSERHANDLE"), "CURRENTUSERHANDLE bob");
    EXPECT_EQ(client->AttachReports().size(), 1u);
}

}  // namespace
}  // namespace skypesim_test
