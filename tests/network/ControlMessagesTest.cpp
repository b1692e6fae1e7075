#include <gtest/gtest.h>

#include <memory>
#include <typeinfo>

#include "../ErrorText.h"
#include "MessageFields.h"
#include "foundation/Errors.h"
#include "network/ControlMessages.h"
#include "network/NetworkMessageRegistry.h"
#include "network/SkypeCoder.h"

namespace {

std::string const kSeparator = "\x01";  // between a discovery's names

struct Sample {
    std::shared_ptr<NetworkMessage> message;
    int id;
    std::string data;
};

// One message of every kind, with the id and payload a peer sees.
std::vector<Sample> Samples() {
    SessionQualityConfiguration quality(tagSIZE{1024, 768}, 8, false, 70);
    quality.AutoJpegQuality.Set(0);
    auto allowed = std::make_shared<RequestRemoteDesktopNetMsg>();
    allowed->SetResponse(true);
    auto denied = std::make_shared<RequestRemoteDesktopNetMsg>();
    denied->SetResponse(false);
    auto stopped = std::make_shared<RequestRemoteDesktopNetMsg>();
    stopped->SetAbort(true);
    DiscoveryInfo info{"DESK-7", "Alice Smith", 42};
    std::vector<unsigned char> clipboard(3000, '\\');
    return {
        {std::make_shared<RequestRemoteDesktopNetMsg>(true, quality), 1, "RQ:1024/768/8/0/70/0"},
        {std::make_shared<RequestRemoteDesktopNetMsg>(false, quality), 1, ""},
        {allowed, 1, "OK"},
        {denied, 1, "DN"},
        {stopped, 1, "ST"},
        {std::make_shared<ShowMyDesktopNetMsg>(quality, true, false), 4, "1024/768/8/0/70/0:1:0"},
        {std::make_shared<WindowEventNetMsg>(0x0201, 4294967295u, -1), 7, "513,4294967295,-1"},
        {std::make_shared<TestConnectNetMsg>(std::string(50, '1').c_str(), false), 10,
         std::string(50, '1') + ":0"},
        {std::make_shared<TestConnectNetMsg>("11", true), 10, "11:1"},
        {std::make_shared<DiscoveryNetMsg>(false, &info), 11, "DESK-7" + kSeparator + "Alice Smith"},
        {std::make_shared<DiscoveryNetMsg>(false, nullptr), 11, kSeparator},
        {std::make_shared<ClipboardNetMsg>(std::vector<unsigned char>()), 12, "0:"},
        {std::make_shared<ClipboardNetMsg>(clipboard), 12,
         "3000:" + CompressAndEncode(clipboard.data(), 3000)},
        {std::make_shared<DesktopResolutionMsg>(), 13, "RQ"},
        {std::make_shared<DesktopResolutionMsg>(tagSIZE{1280, 1024}), 13, "1280x1024"},
        {std::make_shared<ClipboardRequestNetMsg>(), 14, ""},
        {std::make_shared<ClipboardAcknowledgeNetMsg>(), 15, ""},
        {std::make_shared<MouseMoveNetMsg>(tagPOINT{-3, 2000000000}), 16, "-3:2000000000"},
    };
}

// Ids and payloads are what peers rely on; a received id makes the message of the same class.
TEST(ControlMessagesTest, EveryMessageKindHasItsIdAndPayload) {
    for (Sample const& sample : Samples()) {
        SCOPED_TRACE(sample.data.substr(0, 20));
        EXPECT_EQ(sample.message->ToString(), NetworkMessage::ToString(sample.id, sample.data));
        std::unique_ptr<NetworkMessage> made(NetworkMessageRegistry::GetInstance()->Find(sample.id)());
        EXPECT_EQ(typeid(*made), typeid(*sample.message));
    }
}

// What a read message says, for payloads as peers send them and as they may arrive damaged.
// Only the readings that raise say so; other malformed texts leave the defaults.
TEST(ControlMessagesTest, ReadingSetsTheFieldsThePayloadGives) {
    struct Case {
        int id;
        std::string payload;
        std::string fields;  // or the error's text
    };
    std::string const defaults = "800x600/16/1/50/1";
    Case const cases[] = {
        // Qualities: JPEG forces full colour above 4 bits; the depth is capped at 24.
        {1, "RQ:800/600/8/1/50/0", "RequestRemoteDesktop 100 800x600/24/1/50/0"},
        {1, "RQ:800/600/32/0/50/1", "RequestRemoteDesktop 100 800x600/24/0/50/1"},
        {1, "RQ:800/600/4/1/50/1", "RequestRemoteDesktop 100 800x600/4/1/50/1"},
        {1, "RQ:-1/-2/-8/1/-50/1", "RequestRemoteDesktop 100 -1x-2/24/1/-50/1"},
        {1, "RQ:x/y/z/yes/q/true", "RequestRemoteDesktop 100 0x0/0/0/0/0"},
        {4, "640/480/8/1/30/0:7:-1", "ShowMyDesktop 640x480/24/1/30/0 11"},
        {1, "RQ:800//16/1/50/1", "Invalid quality data"},
        {1, "RQ:800/600/16/1/50", "Invalid quality data"},
        // Request kinds are found anywhere in the payload.
        {1, "RQ:", "RequestRemoteDesktop 100 " + defaults},
        {1, "OK", "RequestRemoteDesktop 010 " + defaults},
        {1, "xxOKxSTx", "RequestRemoteDesktop 011 " + defaults},
        // Other field counts leave the defaults.
        {4, "640/480/16/0/30/1:0:x", "ShowMyDesktop 640x480/16/0/30/1 00"},
        {4, "640/480/16/0/30/1:1", "ShowMyDesktop " + defaults + " 00"},
        {10, "111:1", "TestConnect 1 3 111"},
        {10, "111", "TestConnect 0 0 "},
        {7, "513,4294967295,-1", "WindowEvent 513 4294967295 -1"},
        {7, "256,65,2147483648", "WindowEvent 256 65 -2147483648"},
        {7, "7,99999999999,-99999999999", "WindowEvent 7 1215752191 -1215752191"},
        {7, ",,1,2,3,,", "WindowEvent 1 2 3"},
        {7, "1,2", "WindowEvent 0 0 0"},
        {7, "1,2,3,4", "WindowEvent 0 0 0"},
        {11, "DESK-7" + kSeparator + "Alice Smith", "Discovery DESK-7|Alice Smith"},
        {11, kSeparator, "Discovery |"},
        {11, "a" + kSeparator + "b" + kSeparator + "c", "Discovery a|b"},
        {11, "DESK-7", "Invalid discovery message"},
        {13, "RQ", "DesktopResolution 1 0x0"},
        {13, "1280x1024", "DesktopResolution 0 1280x1024"},
        {13, "RQ ", "DesktopResolution 0 0x0"},
        {13, "-5x-6x7", "DesktopResolution 0 -5x-6"},
        {16, "5:7", "MouseMove 5,7"},
        {16, "::4::5", "MouseMove 4,5"},
        {16, "1:2:3", "MouseMove 0,0"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.payload);
        std::string fields;
        try {
            std::unique_ptr<NetworkMessage> message(NetworkMessage::ParseFactory(c.id, c.payload.c_str()));
            fields = FieldsOf(*message);
        } catch (NetworkMessageFormatError const& error) {
            fields = error.what();
        }
        EXPECT_EQ(fields, c.fields);
    }
}

// The size a peer claims bounds the uncompressed bytes.
TEST(ControlMessagesTest, ClipboardBytesTravelCompressed) {
    std::vector<unsigned char> bytes = {'h', 'i', 0, '\\', 0xff, 0, 0, 0};
    ClipboardNetMsg sent(bytes);
    EXPECT_EQ(sent.GetData(), "8:" + CompressAndEncode(bytes.data(), 8));
    auto read = Read<ClipboardNetMsg>(sent.GetData());
    ASSERT_EQ(read->GetClipboardDataSize(), 8u);
    EXPECT_EQ(std::vector<unsigned char>(read->GetClipboardData(), read->GetClipboardData() + 8), bytes);
    EXPECT_EQ(read->GetData(), "");
    EXPECT_EQ(ClipboardNetMsg{std::vector<unsigned char>()}.GetClipboardData(), nullptr);

    std::vector<unsigned char> twenty(20, 'x');
    std::string packedTwenty = CompressAndEncode(twenty.data(), 20);
    struct Case {
        std::string text;
        std::string error;
    };
    Case const cases[] = {
        {"0:", "Invalid clipboard network message data size"},
        {"abc", "Invalid clipboard network message data size"},
        {"10:" + packedTwenty, "Failed to uncompress buffer"},
        {"21:" + packedTwenty, "<none>"},
        {"20", "Failed to uncompress buffer"},
        {"-1:" + packedTwenty, "Failed to uncompress buffer"},
        {"4294967295:" + packedTwenty, "Failed to uncompress buffer"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ReadError<ClipboardNetMsg>(c.text), c.error);
    }
}

}  // namespace
