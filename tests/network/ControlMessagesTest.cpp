#include <gtest/gtest.h>

#include <memory>

#include "../ErrorText.h"
#include "MessageFields.h"
#include "foundation/Errors.h"
#include "foundation/StringHelper.h"
#include "network/ControlMessages.h"
#include "network/NetworkMessage.h"
#include "network/SkypeCoder.h"

namespace {

std::string const kSeparator = "\x01";  // between a discovery's names

// Frames carry checksum, id, length and data. The first fault found is the one reported; data
// that lost one or two characters on the way is taken as it arrived (rows with a correct
// checksum around fields that disagree).
TEST(NetworkMessageTest, FramesAreWrittenAndMalformedOnesRejectedInOrder) {
    EXPECT_EQ(NetworkMessage::ToString(16, "5:7"), "*3D,16,3,5:7");
    EXPECT_EQ(NetworkMessage::ToString(1, ""), "*30,1,0,");
    // The checksum leaves out the first character and widens each other one with its sign before
    // the xor, eight at a time where it can.
    EXPECT_EQ(StringHelper::CheckSum("x\xff"), -1);
    EXPECT_EQ(StringHelper::CheckSum(("x" + std::string(21, '\x80') + "A").c_str()), -63);
    EXPECT_EQ(StringHelper::CheckSum(("x" + std::string(37, '\x13') + "\x81").c_str()), -110);
    struct Case {
        std::string frame;
        std::string error;
    };
    Case const cases[] = {
        {"", "Message does not start with checksum"},
        {"*3D", "Can't find comma after checksum"},
        {"*3D,16", "Can't find comma after id"},
        {"*3D,16,3", "Can't find comma after data length"},
        {"*38,16,6,5:7", "Data length in message do not match real data length"},
        {"*0F,16,4294967299,5:7", "Data length in message do not match real data length"},
        {"*0B,0,3,5:7", "Invalid message id"},
        {"*00,16,3,5:7", "Checksum mismatch"},
        {"*3D,16,3,5:7", "<none>"},
        {"*30,16,3,5:7", "<none>"},  // one matching digit is enough
        {"*3A,16,4,5:7", "<none>"},
        {"*3B,16,5,5:7", "<none>"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.frame);
        int id = 0;
        char const* data = nullptr;
        EXPECT_EQ(ErrorText<NetworkMessageFormatError>(
                      [&] { data = NetworkMessage::ParseResponse(c.frame.c_str(), id); }),
                  c.error);
        if (c.error == "<none>") {
            EXPECT_STREQ(data, "5:7");
            EXPECT_EQ(id, 16);
        }
    }
    int id = 0;
    EXPECT_THROW(NetworkMessage::ParseResponse(nullptr, id), NetworkMessageFormatError);
}

// One message of every kind writes the id and payload peers rely on, and reads back as written.
TEST(ControlMessagesTest, EveryMessageWritesItsPayloadAndReadsBack) {
    SessionQualityConfiguration quality(tagSIZE{1024, 768}, 8, false, 70);
    quality.AutoJpegQuality.Set(0);
    auto allowed = std::make_shared<RequestRemoteDesktopNetMsg>();
    allowed->SetResponse(true);
    auto denied = std::make_shared<RequestRemoteDesktopNetMsg>();
    denied->SetResponse(false);
    auto stopped = std::make_shared<RequestRemoteDesktopNetMsg>();
    stopped->SetAbort(true);
    DiscoveryInfo info{"DESK-7", "Alice \xc3\x9f", 42};
    std::vector<unsigned char> const clipboard = {0, '\\', 'x', 0, 0xff};
    struct Sample {
        std::shared_ptr<NetworkMessage> message;
        int id;
        std::string data;
    } const samples[] = {
        {std::make_shared<RequestRemoteDesktopNetMsg>(true, quality), 1, "RQ:1024/768/8/0/70/0"},
        {std::make_shared<RequestRemoteDesktopNetMsg>(false, quality), 1, ""},
        {allowed, 1, "OK"},
        {denied, 1, "DN"},
        {stopped, 1, "ST"},
        {std::make_shared<ShowMyDesktopNetMsg>(quality, true, false), 4, "1024/768/8/0/70/0:1:0"},
        {std::make_shared<WindowEventNetMsg>(0x0201, 4294967295u, -1), 7, "513,4294967295,-1"},
        {std::make_shared<TestConnectNetMsg>("22", false), 10, "22:0"},
        {std::make_shared<TestConnectNetMsg>("11", true), 10, "11:1"},
        {std::make_shared<DiscoveryNetMsg>(false, &info), 11, "DESK-7" + kSeparator + "Alice \xc3\x9f"},
        {std::make_shared<DiscoveryNetMsg>(false, nullptr), 11, kSeparator},
        {std::make_shared<ClipboardNetMsg>(std::vector<unsigned char>()), 12, "0:"},
        {std::make_shared<ClipboardNetMsg>(clipboard), 12, "5:" + CompressAndEncode(clipboard.data(), 5)},
        {std::make_shared<DesktopResolutionMsg>(), 13, "RQ"},
        {std::make_shared<DesktopResolutionMsg>(tagSIZE{1280, 1024}), 13, "1280x1024"},
        {std::make_shared<ClipboardRequestNetMsg>(), 14, ""},
        {std::make_shared<ClipboardAcknowledgeNetMsg>(), 15, ""},
        {std::make_shared<MouseMoveNetMsg>(tagPOINT{-3, 2000000000}), 16, "-3:2000000000"},
    };
    for (Sample const& sample : samples) {
        SCOPED_TRACE(sample.data.substr(0, 20));
        EXPECT_EQ(sample.message->ToString(), NetworkMessage::ToString(sample.id, sample.data));
        if (sample.data != "0:") {  // an empty clipboard is never sent: readers refuse it
            std::unique_ptr<NetworkMessage> read(
                NetworkMessage::ParseFactory(sample.id, sample.data.c_str()));
            EXPECT_EQ(FieldsOf(*read), FieldsOf(*sample.message));
        }
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
    std::vector<unsigned char> const twenty(20, 'x');
    Case const cases[] = {
        // Qualities: JPEG forces full colour above 4 bits; the depth is capped at 24.
        {1, "RQ:800/600/8/1/50/0", "RequestRemoteDesktop 100 800x600/24/1/50/0"},
        {1, "RQ:800/600/32/0/50/1", "RequestRemoteDesktop 100 800x600/24/0/50/1"},
        {1, "RQ:800/600/4/1/50/1", "RequestRemoteDesktop 100 800x600/4/1/50/1"},
        {4, "640/480/8/1/30/0:0:-1", "ShowMyDesktop 640x480/24/1/30/0 01"},
        {1, "RQ:800/600/16/1/50", "Invalid quality data"},
        {1, "xxOKxSTx", "RequestRemoteDesktop 011 " + defaults},
        {4, "640/480/16/0/30/1:1", "ShowMyDesktop " + defaults + " 00"},
        {10, "111:1", "TestConnect 1 3 111"},
        {10, "111", "TestConnect 0 0 "},
        {7, "256,65,2147483648", "WindowEvent 256 65 -2147483648"},
        {7, ",,1,2,3,,", "WindowEvent 1 2 3"},
        {7, "1,2,3,4", "WindowEvent 0 0 0"},
        {11, "a" + kSeparator + "b" + kSeparator + "c", "Discovery a|b"},
        {11, "DESK-7", "Invalid discovery message"},
        {13, "RQ ", "DesktopResolution 0 0x0"},
        {13, "-5x-6x7", "DesktopResolution 0 -5x-6"},
        {16, "::4::5", "MouseMove 4,5"},
        {16, "1:2:3", "MouseMove 0,0"},
        // Screen changes: the depth is bytes per pixel, 1 to 3; the size must fit the frame
        // (8 x 8 at 3 bytes: 192 bytes of pixels, one header and the count).
        {5, "640:480:2:33:1000:ZIP:data", "ScreenChange 640x480/2 33 1000 0 data"},
        {5, "8:8:1:0:1:JPG:", "ScreenChange 8x8/1 0 1 1 "},
        {5, "8:8:3:0:204:ZIP:x", "ScreenChange 8x8/3 0 204 0 x"},
        {5, "8:8:3:0:205:ZIP:x", "Failed to uncompress buffer"},
        {5, "8:8:0:0:1:ZIP:x", "ScreenChangeNetMsg fields cannot be 0"},
        {5, "8:8:1:0:0:ZIP:x", "ScreenChangeNetMsg fields cannot be 0"},
        {5, "8:8:4:0:1:ZIP:x", "Invalid ScreenChangeNetMsg fields"},
        {5, "8:8:1:0:1", "Invalid ScreenChangeNetMsg fields"},
        // The clipboard's size a peer claims bounds the uncompressed bytes.
        {12, "0:", "Invalid clipboard network message data size"},
        {12, "abc", "Invalid clipboard network message data size"},
        {12, "10:" + CompressAndEncode(twenty.data(), 20), "Failed to uncompress buffer"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.payload);
        std::string fields;
        try {
            std::unique_ptr<NetworkMessage> message(NetworkMessage::ParseFactory(c.id, c.payload.c_str()));
            fields = FieldsOf(*message);
        } catch (NetworkError const& error) {
            fields = error.what();
        }
        EXPECT_EQ(fields, c.fields);
    }
}

}  // namespace
