#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "DumpFolder.h"
#include "MessageFields.h"
#include "RecordLog.h"
#include "SimulatedPeers.h"
#include "network/ControlMessages.h"
#include "network/NetworkProtocol.h"
#include "network/SkypeReliableNetworkTransport.h"
#include "skype/SkypeApplication.h"

namespace {

constexpr unsigned kWaitMs = 20000;

// Every field of a routed message, one line each.
class FieldRecorder : public FieldWriter {
public:
    RecordLog log;

protected:
    void Write(std::string const& line) override { log.Add(line); }
};

// One side: both applications, and a transport and endpoint per stream toward the other side.
struct Side {
    Side(ISkypeClient& client, std::string const& contact)
        : control(&client, "corvane"),
          screen(&client, "corvane.screen"),
          controlTransport(&control, contact),
          screenTransport(&screen, contact),
          controlProtocol(&controlTransport),
          screenProtocol(&screenTransport) {
        controlProtocol.RegisterVisitor(&received);
        screenProtocol.RegisterVisitor(&received);
    }
    SkypeApplication control;
    SkypeApplication screen;
    SkypeReliableNetworkTransport controlTransport;
    SkypeReliableNetworkTransport screenTransport;
    NetworkProtocol controlProtocol;
    NetworkProtocol screenProtocol;
    FieldRecorder received;
};

class ProtocolEndToEndTest : public ::testing::Test {
protected:
    ProtocolEndToEndTest() : peers({"alice", "bob"}) {}

    void SetUp() override {
        ASSERT_TRUE(peers.Attach("alice"));
        ASSERT_TRUE(peers.Attach("bob"));
        alice = std::make_unique<Side>(peers.Client("alice"), "bob");
        bob = std::make_unique<Side>(peers.Client("bob"), "alice");
        ASSERT_TRUE(SimulatedPeers::Connect(alice->control, "alice", bob->control, "bob"));
        ASSERT_TRUE(SimulatedPeers::Connect(alice->screen, "alice", bob->screen, "bob"));
    }

    SimulatedPeers peers;
    std::unique_ptr<Side> alice;
    std::unique_ptr<Side> bob;
};

TEST_F(ProtocolEndToEndTest, EveryMessageArrivesFieldForField) {
    SessionQualityConfiguration quality(tagSIZE{1024, 768}, 8, false, 35);
    RequestRemoteDesktopNetMsg allowed;
    allowed.SetResponse(true);
    RequestRemoteDesktopNetMsg stopped;
    stopped.SetAbort(true);
    DiscoveryInfo info{"DESK-7", "Bob \xc3\x9f", 0};
    std::vector<unsigned char> clipboard(70000);
    for (std::size_t i = 0; i < clipboard.size(); ++i) {
        clipboard[i] = static_cast<unsigned char>(i * 7919 % 251);  // NULs and backslashes among them
    }
    std::vector<std::shared_ptr<NetworkMessage>> messages = {
        std::make_shared<RequestRemoteDesktopNetMsg>(true, quality),
        std::make_shared<RequestRemoteDesktopNetMsg>(allowed),
        std::make_shared<RequestRemoteDesktopNetMsg>(stopped),
        std::make_shared<ShowMyDesktopNetMsg>(quality, true, true),
        std::make_shared<TestConnectNetMsg>("1111111111", false),
        std::make_shared<WindowEventNetMsg>(0x0100, 0xfffffff0u, -5),
        std::make_shared<DiscoveryNetMsg>(false, &info),
        std::make_shared<ClipboardNetMsg>(clipboard),
        std::make_shared<DesktopResolutionMsg>(),
        std::make_shared<DesktopResolutionMsg>(tagSIZE{1280, 1024}),
        std::make_shared<ClipboardRequestNetMsg>(),
        std::make_shared<ClipboardAcknowledgeNetMsg>(),
        std::make_shared<MouseMoveNetMsg>(tagPOINT{-4, 900}),
    };
    FieldRecorder sent;
    for (auto const& message : messages) {
        message->Route(sent);
        alice->controlProtocol.Send(*message);
    }
    std::vector<std::string> expected = sent.log.Records();
    ASSERT_TRUE(bob->received.log.WaitFor(expected.back(), kWaitMs));
    EXPECT_EQ(bob->received.log.Records(), expected);

    // The other way, on the screen stream.
    bob->screenProtocol.Send(MouseMoveNetMsg(tagPOINT{1, 2}));
    EXPECT_TRUE(alice->received.log.WaitFor("MouseMove 1,2", kWaitMs));
}

TEST_F(ProtocolEndToEndTest, ALargeMessageTravelsInChunksAndTheCountersAgree) {
    DumpFolder dumps;
    alice->controlProtocol.EnableDump(dumps.Name());
    std::string const text(1 << 20, 'p');  // 1 MB: 17 chunks of at most 65000 characters
    alice->controlProtocol.Send(TestConnectNetMsg(text.c_str(), false));
    alice->controlProtocol.Send(TestConnectNetMsg("after", true));
    ASSERT_TRUE(bob->received.log.WaitFor("TestConnect 1 5 after", kWaitMs));
    EXPECT_EQ(bob->received.log.Records().front(), "TestConnect 0 1048576 " + text.substr(0, 20));
    EXPECT_EQ(FilesIn(dumps.Root() + "sent\\").size(), 2u + 17u + 1u);  // two messages, 18 chunks

    EXPECT_EQ(alice->controlProtocol.GetSendFps().GetTotal(),
              bob->controlProtocol.GetReceiveFps().GetTotal());
    EXPECT_GT(alice->controlProtocol.GetSendFps().GetTotal(), 1 << 20);
    EXPECT_EQ(alice->controlProtocol.GetReceiveFps().GetTotal(), 0);
    EXPECT_EQ(bob->controlProtocol.GetSendFps().GetTotal(), 0);
}

}  // namespace
