#include <gtest/gtest.h>

#include "../ErrorText.h"
#include "LogCapture.h"
#include "foundation/Errors.h"
#include "foundation/StringHelper.h"
#include "network/NetworkMessage.h"
#include "network/NetworkMessageRegistry.h"

namespace {

// A frame with a correct checksum around fields that need not agree with each other.
std::string Frame(std::string const& id, std::string const& length, std::string const& data) {
    std::string body = id + "," + length + "," + data;
    return "*" + StringHelper::CheckSumFormat(body) + "," + body;
}

std::string ParseError(std::string const& frame) {
    return ErrorText<NetworkMessageFormatError>([&] {
        int id = 0;
        NetworkMessage::ParseResponse(frame.c_str(), id);
    });
}

TEST(NetworkMessageTest, FramesCarryChecksumIdLengthAndData) {
    EXPECT_EQ(NetworkMessage::ToString(16, "5:7"), "*3D,16,3,5:7");
    EXPECT_EQ(NetworkMessage::ToString(1, ""), "*30,1,0,");
    // The first digit of the id is not checksummed.
    EXPECT_EQ(NetworkMessage::ToString(12, "abc").substr(0, 3),
              NetworkMessage::ToString(22, "abc").substr(0, 3));
    EXPECT_NE(NetworkMessage::ToString(12, "abc").substr(0, 3),
              NetworkMessage::ToString(13, "abc").substr(0, 3));

    std::string const payloads[] = {"", "a,b,,c,", "*3D,16,3,5:7", "\xe9t\xe9\x80\xff",
                                    std::string(70000, 'x')};
    for (std::string const& data : payloads) {
        SCOPED_TRACE(data.substr(0, 20));
        std::string frame = NetworkMessage::ToString(1000000, data);
        int id = 0;
        char const* start = NetworkMessage::ParseResponse(frame.c_str(), id);
        EXPECT_EQ(id, 1000000);
        EXPECT_EQ(start, frame.c_str() + frame.size() - data.size());
    }
}

TEST(NetworkMessageTest, MalformedFramesAreRejectedInOrder) {
    struct Case {
        std::string frame;
        std::string error;
    };
    Case const cases[] = {
        {"", "Message does not start with checksum"},
        {" *3D,16,3,5:7", "Message does not start with checksum"},
        {"*3D", "Can't find comma after checksum"},
        {"*3D,16", "Can't find comma after id"},
        {"*3D,16,3", "Can't find comma after data length"},
        // Length first: a frame with a bad length and a bad id reports the length.
        {"*3D,0,9,5:7", "Data length in message do not match real data length"},
        {Frame("16", "6", "5:7"), "Data length in message do not match real data length"},
        {Frame("16", "-1", ""), "Data length in message do not match real data length"},
        {Frame("16", "4294967299", "5:7"), "Data length in message do not match real data length"},
        {Frame("0", "3", "5:7"), "Invalid message id"},
        {Frame("x16", "3", "5:7"), "Invalid message id"},
        {"*00,16,3,5:7", "Checksum mismatch"},
        {"*3D,16,3,5:7", "<none>"},
        {"*0D,16,3,5:7", "<none>"},
        {"*30,16,3,5:7", "<none>"},  // one matching digit is enough
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.frame);
        EXPECT_EQ(ParseError(c.frame), c.error);
    }
    EXPECT_EQ(ErrorText<NetworkMessageFormatError>([] {
                  int id = 0;
                  NetworkMessage::ParseResponse(nullptr, id);
              }),
              "Message does not start with checksum");
}

TEST(NetworkMessageTest, DataThatLostOneOrTwoCharactersIsTakenAsItArrived) {
    LogCapture log;
    struct Case {
        std::string declared;
        bool accepted;
    };
    Case const cases[] = {{"3", true}, {"4", true}, {"5", true}, {"6", false}};
    for (Case const& c : cases) {
        SCOPED_TRACE(c.declared);
        std::string frame = Frame("16", c.declared, "5:7");
        int id = -7;
        if (c.accepted) {
            EXPECT_STREQ(NetworkMessage::ParseResponse(frame.c_str(), id), "5:7");
            EXPECT_EQ(id, 16);
        } else {
            EXPECT_THROW(NetworkMessage::ParseResponse(frame.c_str(), id), NetworkMessageFormatError);
            EXPECT_EQ(id, -7);  // not stored before the length is accepted
        }
    }
    EXPECT_EQ(log.Count("OFFSET-BY-1/2 HAPPENED IN NETWORK MESSAGE"), 2);
    EXPECT_TRUE(log.Contains(
        "Exception (NetworkMessageFormatError): Data length in message do not match real data length"));

    // The id is stored once the length is accepted, even when the checksum then fails.
    int id = 0;
    EXPECT_THROW(NetworkMessage::ParseResponse("*00,16,3,5:7", id), NetworkMessageFormatError);
    EXPECT_EQ(id, 16);
}

TEST(NetworkMessageTest, UnknownIdsAreNotMade) {
    LogCapture log;
    for (int id : {0, 2, 17, -1}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(ErrorText<NetworkMessageFormatError>([id] { delete NetworkMessage::ParseFactory(id, ""); }),
                  "Network message id not registered");
    }
    EXPECT_TRUE(log.Contains("Network message id 17 not registered"));
}

NetworkMessage* MakeNothing() {
    return nullptr;
}
NetworkMessage* MakeNothingElse() {
    return nullptr;
}

TEST(NetworkMessageRegistryTest, AnIdIsRegisteredOnce) {
    LogCapture log;
    NetworkMessageRegistry registry;
    registry.Register(4, &MakeNothing);
    EXPECT_EQ(ErrorText<NetworkError>([&] { registry.Register(4, &MakeNothingElse); }),
              "Duplicate network message id");
    EXPECT_TRUE(log.Contains("Duplicate network message id: 4"));
    EXPECT_EQ(registry.Find(4), &MakeNothing);
    EXPECT_EQ(registry.Find(5), nullptr);
    EXPECT_NE(NetworkMessageRegistry::GetInstance(), &registry);
}

}  // namespace
