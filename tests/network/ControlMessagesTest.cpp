#include <gtest/gtest.h>

#include <memory>

#include "ErrorText.h"
#include "foundation/Errors.h"
#include "network/ControlMessages.h"
#include "network/SkypeCoder.h"

namespace {

// The message of class T that reads `payload`, as the protocol endpoint would make it.
template <class T>
std::unique_ptr<T> Read(std::string const& payload) {
    std::unique_ptr<NetworkMessage> message(NetworkMessage::ParseFactory(T::mId, payload.c_str()));
    auto typed = dynamic_cast<T*>(message.get());
    EXPECT_NE(typed, nullptr);
    message.release();
    return std::unique_ptr<T>(typed);
}

template <class T>
std::string ReadError(std::string const& payload) {
    return ErrorText<NetworkError>([&] { Read<T>(payload); });
}

// The text form of a quality, as a request writes it.
std::string QualityText(SessionQualityConfiguration const& quality) {
    return RequestRemoteDesktopNetMsg(true, quality).GetData().substr(3);
}

TEST(ControlMessagesTest, QualityTextIsReadWithJpegForcingFullColour) {
    struct Case {
        std::string text;
        std::string read;
    };
    Case const cases[] = {
        {"800/600/8/1/50/0", "800/600/24/1/50/0"},  {"800/600/16/1/50/1", "800/600/24/1/50/1"},
        {"800/600/32/0/50/1", "800/600/24/0/50/1"}, {"800/600/4/1/50/1", "800/600/4/1/50/1"},
        {"1024/768/1/0/75/2", "1024/768/1/0/75/0"}, {"-1/-2/-8/1/-50/1", "-1/-2/24/1/-50/1"},
        {"x/y/z/yes/q/true", "0/0/0/0/0/0"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(QualityText(Read<RequestRemoteDesktopNetMsg>("RQ:" + c.text)->GetQuality()), c.read);
        EXPECT_EQ(QualityText(Read<ShowMyDesktopNetMsg>(c.text + ":1:0")->GetQuality()), c.read);
    }
    for (std::string text : {"800//16/1/50/1", "800/600/16/1/50", "800/600/16/1/50/1/7", "/////"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ReadError<RequestRemoteDesktopNetMsg>("RQ:" + text), "Invalid quality data");
        EXPECT_EQ(ReadError<ShowMyDesktopNetMsg>(text + ":1:1"), "Invalid quality data");
    }
}

TEST(ControlMessagesTest, RequestKindsAndTheirPayloads) {
    SessionQualityConfiguration quality(tagSIZE{1024, 768}, 8, false, 70);
    quality.AutoJpegQuality.Set(0);
    EXPECT_EQ(RequestRemoteDesktopNetMsg(true, quality).GetData(), "RQ:1024/768/8/0/70/0");

    RequestRemoteDesktopNetMsg answer(false, quality);
    EXPECT_EQ(answer.GetData(), "");
    EXPECT_EQ(QualityText(answer.GetQuality()), "800/600/16/1/50/1");
    answer.SetResponse(true);
    EXPECT_EQ(answer.GetData(), "OK");
    answer.SetResponse(false);
    EXPECT_EQ(answer.GetData(), "DN");
    answer.SetAbort(true);
    EXPECT_EQ(answer.GetData(), "ST");
    answer.SetAbort(false);
    EXPECT_EQ(answer.GetData(), "");

    struct Case {
        std::string text;
        std::string kind;
        bool request, allowed, aborted;
    };
    Case const cases[] = {
        {"RQ:800/600/16/0/50/1", "RQ", true, false, false},
        {"RQ:", "RQ:", true, false, false},
        {"OK", "OK", false, true, false},
        {"ST", "ST", false, false, true},
        {"", "", false, false, false},
        {"xxOKxSTx", "xxOKxSTx", false, true, true},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text);
        auto read = Read<RequestRemoteDesktopNetMsg>(c.text);
        EXPECT_EQ(read->GetData(), c.kind);
        EXPECT_EQ(read->IsRequest(), c.request);
        EXPECT_EQ(read->IsAllowed(), c.allowed);
        EXPECT_EQ(read->IsAborted(), c.aborted);
    }
    EXPECT_EQ(QualityText(Read<RequestRemoteDesktopNetMsg>("RQ:")->GetQuality()), "800/600/16/1/50/1");
}

TEST(ControlMessagesTest, ShowMyDesktopAnswersAndOddFieldCounts) {
    SessionQualityConfiguration quality(tagSIZE{640, 480}, 16, false, 30);
    EXPECT_EQ(ShowMyDesktopNetMsg(quality, true, false).GetData(), "640/480/16/0/30/1:1:0");

    auto read = Read<ShowMyDesktopNetMsg>("640/480/16/0/30/1:7:-1");
    EXPECT_TRUE(read->IsAccepted() && read->IsResponse());
    EXPECT_EQ(read->GetSize().cx, 640);
    EXPECT_EQ(read->GetColorDepth(), 16u);
    EXPECT_FALSE(read->IsUseJpeg());
    EXPECT_EQ(read->GetJpegQuality(), 30);
    auto declined = Read<ShowMyDesktopNetMsg>("640/480/16/0/30/1:0:x");
    EXPECT_FALSE(declined->IsAccepted() || declined->IsResponse());

    for (std::string text : {"640/480/16/0/30/1:1", "a:b:c:d"}) {
        SCOPED_TRACE(text);
        auto odd = Read<ShowMyDesktopNetMsg>(text);
        EXPECT_FALSE(odd->IsAccepted());
        EXPECT_EQ(QualityText(odd->GetQuality()), "800/600/16/1/50/1");
    }
}

TEST(ControlMessagesTest, TestConnectCarriesItsTextAndResponse) {
    TestConnectNetMsg probe(std::string(50, '1').c_str(), false);
    EXPECT_EQ(probe.GetData(), std::string(50, '1') + ":0");
    EXPECT_EQ(TestConnectNetMsg("11", true).GetData(), "11:1");

    auto echo = Read<TestConnectNetMsg>("111:1");
    EXPECT_EQ(echo->GetData(), "111");
    EXPECT_TRUE(echo->IsResponse());
    auto other = Read<TestConnectNetMsg>("111");
    EXPECT_EQ(other->GetData(), "");
    EXPECT_FALSE(other->IsResponse());
}

TEST(ControlMessagesTest, WindowEventKeepsUnsignedAndNegativeParameters) {
    WindowEventNetMsg sent(0x0201, 4294967295u, -1);
    EXPECT_EQ(sent.GetData(), "513,4294967295,-1");

    struct Case {
        std::string text;
        unsigned message, wParam;
        long lParam;
    };
    Case const cases[] = {
        {"513,4294967295,-1", 513, 4294967295u, -1},
        {"256,65,2147483648", 256, 65, -2147483647 - 1},
        {"7,99999999999,-99999999999", 7, 1215752191u, -1215752191},
        {",,1,2,3,,", 1, 2, 3},
        {"1,2", 0, 0, 0},
        {"1,2,3,4", 0, 0, 0},
        {"x,y,z", 0, 0, 0},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text);
        auto read = Read<WindowEventNetMsg>(c.text);
        EXPECT_EQ(read->GetMessageW(), c.message);
        EXPECT_EQ(read->GetWParam(), c.wParam);
        EXPECT_EQ(read->GetLParam(), c.lParam);
    }
}

TEST(ControlMessagesTest, DiscoveryNamesAndTheSeparator) {
    DiscoveryInfo info{"DESK-7", "Alice Smith", 42};
    DiscoveryNetMsg sent(false, &info);
    EXPECT_EQ(sent.GetData(),
              "DESK-7\x01"
              "Alice Smith");
    EXPECT_EQ(sent.GetDiscoveryInfo().userData, 42);
    EXPECT_EQ(DiscoveryNetMsg(false, nullptr).GetData(), "\x01");

    struct Case {
        std::string text;
        std::string computer, user;
    };
    Case const cases[] = {
        {"DESK-7\x01"
         "Alice Smith",
         "DESK-7", "Alice Smith"},
        {"DESK-7\x01", "DESK-7", ""},
        {"\x01", "", ""},
        {"a\x01"
         "b\x01"
         "c",
         "a", "b"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text);
        DiscoveryInfo read = Read<DiscoveryNetMsg>(c.text)->GetDiscoveryInfo();
        EXPECT_EQ(read.computerName, c.computer);
        EXPECT_EQ(read.userName, c.user);
        EXPECT_EQ(read.userData, 0);
    }
    EXPECT_EQ(ReadError<DiscoveryNetMsg>("DESK-7"), "Invalid discovery message");
    EXPECT_EQ(ReadError<DiscoveryNetMsg>(""), "Invalid discovery message");
}

TEST(ControlMessagesTest, DiscoveryFromTheSystemNamesThisComputerAndUser) {
    char computer[1024] = {};
    DWORD size = sizeof(computer);
    ASSERT_TRUE(GetComputerNameA(computer, &size));
    DiscoveryInfo info{"ignored", "ignored", 5};
    DiscoveryInfo local = DiscoveryNetMsg(true, &info).GetDiscoveryInfo();
    EXPECT_EQ(local.computerName, computer);
    // Wine keeps no display name: the logon name stands in.
    EXPECT_FALSE(local.userName.empty());
    EXPECT_NE(local.userName, "ignored");
}

TEST(ControlMessagesTest, ClipboardBytesTravelCompressed) {
    std::vector<unsigned char> bytes = {'h', 'i', 0, '\\', 0xff, 0, 0, 0};
    ClipboardNetMsg sent(bytes);
    EXPECT_EQ(sent.GetData(), "8:" + CompressAndEncode(bytes.data(), 8));
    EXPECT_EQ(sent.GetClipboardDataSize(), 8u);

    auto read = Read<ClipboardNetMsg>(sent.GetData());
    ASSERT_EQ(read->GetClipboardDataSize(), 8u);
    EXPECT_EQ(std::vector<unsigned char>(read->GetClipboardData(), read->GetClipboardData() + 8), bytes);
    EXPECT_EQ(read->GetData(), "");

    ClipboardNetMsg empty{std::vector<unsigned char>()};
    EXPECT_EQ(empty.GetData(), "0:");
    EXPECT_EQ(empty.GetClipboardData(), nullptr);

    std::vector<unsigned char> twenty(20, 'x');
    std::string packedTwenty = CompressAndEncode(twenty.data(), 20);
    struct Case {
        std::string text;
        std::string error;
    };
    Case const cases[] = {
        {"0:", "Invalid clipboard network message data size"},
        {"", "Invalid clipboard network message data size"},
        {"abc", "Invalid clipboard network message data size"},
        {"10:" + packedTwenty, "Failed to uncompress buffer"},
        {"21:" + packedTwenty, "<none>"},
        {"20", "Failed to uncompress buffer"},
        {"20:garbage", "Failed to uncompress buffer"},
        {"-1:" + packedTwenty, "Failed to uncompress buffer"},
        {"4294967295:" + packedTwenty, "Failed to uncompress buffer"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ReadError<ClipboardNetMsg>(c.text), c.error);
    }
    EXPECT_THROW(Read<ClipboardNetMsg>("0:"), NetworkMessageFormatError);
}

TEST(ControlMessagesTest, DesktopResolutionRequestsAndSizes) {
    DesktopResolutionMsg request;
    EXPECT_EQ(request.GetData(), "RQ");
    EXPECT_TRUE(request.IsRequest());
    DesktopResolutionMsg size(tagSIZE{1280, 1024});
    EXPECT_EQ(size.GetData(), "1280x1024");
    EXPECT_FALSE(size.IsRequest());

    struct Case {
        std::string text;
        bool request;
        LONG width, height;
    };
    Case const cases[] = {
        {"RQ", true, 0, 0},     {"1280x1024", false, 1280, 1024}, {"RQ ", false, 0, 0},
        {"800", false, 800, 0}, {"x600", false, 0, 600},          {"-5x-6x7", false, -5, -6},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text);
        auto read = Read<DesktopResolutionMsg>(c.text);
        EXPECT_EQ(read->IsRequest(), c.request);
        EXPECT_EQ(read->GetResolution().cx, c.width);
        EXPECT_EQ(read->GetResolution().cy, c.height);
    }
}

TEST(ControlMessagesTest, MousePositionNeedsExactlyTwoFields) {
    EXPECT_EQ(MouseMoveNetMsg(tagPOINT{5, 7}).GetData(), "5:7");
    EXPECT_EQ(MouseMoveNetMsg(tagPOINT{-3, 2000000000}).GetData(), "-3:2000000000");

    struct Case {
        std::string text;
        LONG x, y;
    };
    Case const cases[] = {
        {"5:7", 5, 7}, {"-3:2000000000", -3, 2000000000}, {"1:2:3", 0, 0}, {"::4::5", 4, 5}, {"9", 0, 0}};
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text);
        auto read = Read<MouseMoveNetMsg>(c.text);
        EXPECT_EQ(read->GetMousePos().x, c.x);
        EXPECT_EQ(read->GetMousePos().y, c.y);
        EXPECT_EQ(read->GetData(), c.text);
    }
}

}  // namespace
