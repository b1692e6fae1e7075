#include <chrono>

#include "SimTestSupport.h"

namespace skypesim_test {
namespace {

using skypesim::AttachStep;

// Each account answers only its own discover message, with the statuses of its script.
TEST(AttachTest, ScriptedStatusesFollowEachOtherWithTheirDelays) {
    SkypeSimulator sim;
    AccountConfig alice = UniqueAccount("alice");
    alice.attachScript = {AttachStep{0x8001, 0}, AttachStep{1, 0}, AttachStep{0, 200}};
    sim.AddAccount(alice);
    sim.AddAccount(UniqueAccount("bob"));
    auto client = ClientFor(alice);
    auto start = std::chrono::steady_clock::now();
    client->Discover();
    ASSERT_EQ(client->WaitForAttach(0, kWait), sim.Window("alice"));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(180));
    auto reports = client->AttachReports();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0].status, 0x8001);
    EXPECT_EQ(reports[1].status, 1);
    client->SetMessenger(reports[2].messenger);
    EXPECT_EQ(client->Command("GET CURRENTUSERHANDLE"), "CURRENTUSERHANDLE alice");

    // A new script applies to the next discover; an empty one leaves the client unanswered.
    sim.SetAttachScript("alice", {AttachStep{2, 0}});
    client->Discover();
    EXPECT_TRUE(client->WaitForAttach(2, kWait));
    sim.SetAttachScript("alice", {});
    client->Discover();
    EXPECT_FALSE(client->WaitForAttach(3, kQuiet));
    EXPECT_EQ(client->AttachReports().size(), 4u);
}

}  // namespace
}  // namespace skypesim_test
