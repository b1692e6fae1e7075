#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "DumpFolder.h"
#include "RecordLog.h"
#include "SimulatedPeers.h"
#include "network/ControlMessages.h"
#include "network/NetworkProtocol.h"
#include "network/SkypeReliableNetworkTransport.h"
#include "skype/SkypeApplication.h"

namespace {

constexpr unsigned kWaitMs = 20000;

std::string Text(tagSIZE size) { return std::to_string(size.cx) + "x" + std::to_string(size.cy); }

std::string Text(SessionQualityConfiguration const& quality) {
    return Text(quality.Resolution.Get()) + "/" + std::to_string(quality.ColorDepth.Get()) + "/" +
           std::to_string(quality.UseJpeg.Get()) + "/" + std::to_string(quality.JpegQuality.Get()) + "/" +
           std::to_string(quality.AutoJpegQuality.Get());
}

// Writes every field of a routed message, read through its accessors, as one line.
class FieldRecorder : public NetworkVisitor {
public:
    RecordLog log;

    void Handle(RequestRemoteDesktopNetMsg const& m) override {
        log.Add("RequestRemoteDesktop " + std::to_string(m.IsRequest()) + std::to_string(m.IsAllowed()) +
                std::to_string(m.IsAborted()) + " " + Text(m.GetQuality()));
    }
    void Handle(TestConnectNetMsg const& m) override {
        // A sent message's data is "text:response"; a received one's is the text.
        std::string const text = m.GetData().substr(0, m.GetData().find(':'));
        log.Add("TestConnect " + std::to_string(m.IsResponse()) + " " + std::to_string(text.size()) + " " +
                text.substr(0, 20));
    }
    void Handle(ShowMyDesktopNetMsg const& m) override {
        log.Add("ShowMyDesktop " + Text(m.GetSize()) + "/" + std::to_string(m.GetColorDepth()) + "/" +
                std::to_string(m.IsUseJpeg()) + "/" + std::to_string(m.GetJpegQuality()) + " " +
                std::to_string(m.IsAccepted()) + std::to_string(m.IsResponse()));
    }
    void Handle(WindowEventNetMsg const& m) override {
        log.Add("WindowEvent " + std::to_string(m.GetMessageW()) + " " + std::to_string(m.GetWParam()) + " " +
                std::to_string(m.GetLParam()));
    }
    void Handle(DiscoveryNetMsg const& m) override {
        log.Add("Discovery " + m.GetDiscoveryInfo().computerName + "|" + m.GetDiscoveryInfo().userName);
    }
    void Handle(ClipboardNetMsg const& m) override {
        std::string bytes(reinterpret_cast<char const*>(m.GetClipboardData()), m.GetClipboardDataSize());
        log.Add("Clipboard " + std::to_string(bytes.size()) + " " + std::to_string(std::hash<std::string>()(bytes)));
    }
    void Handle(DesktopResolutionMsg const& m) override {
        log.Add("DesktopResolution " + std::to_string(m.IsRequest()) + " " + Text(m.GetResolution()));
    }
    void Handle(ClipboardRequestNetMsg const&) override { log.Add("ClipboardRequest"); }
    void Handle(ClipboardAcknowledgeNetMsg const&) override { log.Add("ClipboardAcknowledge"); }
    void Handle(MouseMoveNetMsg const& m) override {
        log.Add("MouseMove " + std::to_string(m.GetMousePos().x) + "," + std::to_string(m.GetMousePos().y));
    }
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
        alice->control.Connect("bob");
        alice->screen.Connect("bob");
        ASSERT_TRUE(WaitConnected(alice->control, "bob") && WaitConnected(alice->screen, "bob") &&
                    WaitConnected(bob->control, "alice") && WaitConnected(bob->screen, "alice"));
    }

    static bool WaitConnected(SkypeApplication& application, std::string const& user) {
        for (DWORD start = GetTickCount(); GetTickCount() - start < kWaitMs; Sleep(5)) {
            if (application.IsConnected(user)) {
                return true;
            }
        }
        return false;
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

    EXPECT_EQ(alice->controlProtocol.GetSendFps().GetTotal(), bob->controlProtocol.GetReceiveFps().GetTotal());
    EXPECT_GT(alice->controlProtocol.GetSendFps().GetTotal(), 1 << 20);
    EXPECT_EQ(alice->controlProtocol.GetReceiveFps().GetTotal(), 0);
    EXPECT_EQ(bob->controlProtocol.GetSendFps().GetTotal(), 0);
}

}  // namespace
