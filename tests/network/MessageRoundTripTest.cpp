#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "foundation/Errors.h"
#include "network/ControlMessages.h"

namespace {

// Notes which Handle a routed message reached.
class RecordingVisitor : public NetworkVisitor {
public:
    std::vector<std::string> calls;

    void Handle(RequestRemoteDesktopNetMsg const&) override { calls.push_back("RequestRemoteDesktop"); }
    void Handle(TestConnectNetMsg const&) override { calls.push_back("TestConnect"); }
    void Handle(ShowMyDesktopNetMsg const&) override { calls.push_back("ShowMyDesktop"); }
    void Handle(WindowEventNetMsg const&) override { calls.push_back("WindowEvent"); }
    void Handle(DiscoveryNetMsg const&) override { calls.push_back("Discovery"); }
    void Handle(ClipboardNetMsg const& message) override {
        calls.push_back("Clipboard:" + std::to_string(message.GetClipboardDataSize()));
    }
    void Handle(DesktopResolutionMsg const&) override { calls.push_back("DesktopResolution"); }
    void Handle(ClipboardRequestNetMsg const&) override { calls.push_back("ClipboardRequest"); }
    void Handle(ClipboardAcknowledgeNetMsg const&) override { calls.push_back("ClipboardAcknowledge"); }
    void Handle(MouseMoveNetMsg const&) override { calls.push_back("MouseMove"); }
};

struct Sample {
    std::shared_ptr<NetworkMessage> message;
    int id;
    std::string handler;
    std::string receivedData;  // what GetData gives on the receiving side
};

std::vector<Sample> Samples() {
    SessionQualityConfiguration quality(tagSIZE{1024, 768}, 16, false, 60);
    RequestRemoteDesktopNetMsg allowed;
    allowed.SetResponse(true);
    DiscoveryInfo info{"DESK", "Bob \xc3\x9f", 0};
    std::vector<Sample> samples = {
        {std::make_shared<RequestRemoteDesktopNetMsg>(true, quality), 1, "RequestRemoteDesktop", "RQ"},
        {std::make_shared<RequestRemoteDesktopNetMsg>(allowed), 1, "RequestRemoteDesktop", "OK"},
        {std::make_shared<ShowMyDesktopNetMsg>(quality, true, true), 4, "ShowMyDesktop", "="},
        {std::make_shared<TestConnectNetMsg>("1111111111", true), 10, "TestConnect", "1111111111"},
        {std::make_shared<WindowEventNetMsg>(0x0100, 0x41, 0x001e0001), 7, "WindowEvent", "="},
        {std::make_shared<DiscoveryNetMsg>(false, &info), 11, "Discovery", "="},
        {std::make_shared<ClipboardNetMsg>(std::vector<unsigned char>(3000, '\\')), 12, "Clipboard:3000", ""},
        {std::make_shared<DesktopResolutionMsg>(), 13, "DesktopResolution", "="},
        {std::make_shared<DesktopResolutionMsg>(tagSIZE{1280, 1024}), 13, "DesktopResolution", "="},
        {std::make_shared<ClipboardRequestNetMsg>(), 14, "ClipboardRequest", "="},
        {std::make_shared<ClipboardAcknowledgeNetMsg>(), 15, "ClipboardAcknowledge", "="},
        {std::make_shared<MouseMoveNetMsg>(tagPOINT{-4, 900}), 16, "MouseMove", "="},
    };
    for (Sample& sample : samples) {
        if (sample.receivedData == "=") {
            sample.receivedData = sample.message->GetData();
        }
    }
    return samples;
}

// Frame, check, make and route as the receiving endpoint does.
std::unique_ptr<NetworkMessage> Receive(std::string const& frame, RecordingVisitor& visitor) {
    int id = 0;
    char const* data = NetworkMessage::ParseResponse(frame.c_str(), id);
    std::unique_ptr<NetworkMessage> message(NetworkMessage::ParseFactory(id, data));
    message->Route(visitor);
    return message;
}

TEST(MessageRoundTripTest, EveryMessageArrivesAsItsOwnClassWithItsData) {
    for (Sample const& sample : Samples()) {
        SCOPED_TRACE(sample.handler + " " + sample.message->GetData().substr(0, 40));
        EXPECT_EQ(sample.message->GetId(), sample.id);
        EXPECT_EQ(sample.message->GetStreamIndex(), 0);

        RecordingVisitor visitor;
        std::unique_ptr<NetworkMessage> received = Receive(sample.message->ToString(), visitor);
        EXPECT_EQ(visitor.calls, std::vector<std::string>{sample.handler});
        EXPECT_EQ(received->GetId(), sample.id);
        EXPECT_EQ(received->GetData(), sample.receivedData);

        // Routing a copy reaches the same handler; the default visitor ignores everything.
        NetworkVisitor ignoring;
        received->Route(ignoring);
        sample.message->Route(visitor);
        EXPECT_EQ(visitor.calls, std::vector<std::string>(2, sample.handler));
    }
}

// Random texts, and frames of real messages with random damage, go through the receiving
// path. The only exceptions that may come out are the protocol's own.
TEST(MessageRoundTripTest, GarbageRaisesOnlyProtocolErrors) {
    std::mt19937 random(99);
    std::string const alphabet = std::string("0123456789:/,x\x01RQOKST-\\* abc\x80\xff");
    auto randomText = [&](std::size_t maxLength) {
        std::string text(random() % (maxLength + 1), ' ');
        for (char& c : text) {
            c = alphabet[random() % alphabet.size()];
        }
        return text;
    };
    std::vector<Sample> samples = Samples();
    int const ids[] = {1, 4, 5, 7, 10, 11, 12, 13, 14, 15, 16, 2, 0, -3, 99};
    int accepted = 0, rejected = 0;
    for (int round = 0; round < 6000; ++round) {
        std::string frame;
        switch (round % 3) {
            case 0:  // any text
                frame = (random() % 2 ? "*" : "") + randomText(40);
                break;
            case 1:  // a well-formed frame around a random payload
                frame =
                    NetworkMessage::ToString(ids[random() % (sizeof(ids) / sizeof(ids[0]))], randomText(40));
                break;
            default: {  // a real frame with characters changed, dropped or added
                frame = samples[random() % samples.size()].message->ToString();
                for (int damage = 1 + random() % 3; damage > 0; --damage) {
                    std::size_t at = random() % frame.size();
                    switch (random() % 3) {
                        case 0:
                            frame[at] = alphabet[random() % alphabet.size()];
                            break;
                        case 1:
                            frame.erase(at, 1 + random() % 3);
                            break;
                        default:
                            frame.insert(at, randomText(3));
                            break;
                    }
                    if (frame.empty()) {
                        frame = "*";
                    }
                }
            }
        }
        SCOPED_TRACE(frame.substr(0, 80));
        try {
            RecordingVisitor visitor;
            Receive(frame, visitor);
            EXPECT_EQ(visitor.calls.size(), 1u);
            ++accepted;
        } catch (NetworkError const&) {  // malformed frames and messages included
            ++rejected;
        }
    }
    // Both paths were exercised.
    EXPECT_GT(accepted, 500);
    EXPECT_GT(rejected, 500);
}

}  // namespace
