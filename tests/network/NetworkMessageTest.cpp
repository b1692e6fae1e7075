#include <gtest/gtest.h>

#include "../ErrorText.h"
#include "foundation/Errors.h"
#include "foundation/StringHelper.h"
#include "network/NetworkMessage.h"

namespace {

// A frame with a correct checksum around fields that need not agree with each other.
std::string Frame(std::string const& id, std::string const& length, std::string const& data) {
    std::string body = id + "," + length + "," + data;
    return "*" + StringHelper::CheckSumFormat(body) + "," + body;
}

TEST(NetworkMessageTest, FramesCarryChecksumIdLengthAndData) {
    EXPECT_EQ(NetworkMessage::ToString(16, "5:7"), "*3D,16,3,5:7");
    EXPECT_EQ(NetworkMessage::ToString(1, ""), "*30,1,0,");
    // The first digit of the id is not checksummed.
    EXPECT_EQ(NetworkMessage::ToString(12, "abc").substr(0, 3),
              NetworkMessage::ToString(22, "abc").substr(0, 3));
    EXPECT_NE(NetworkMessage::ToString(12, "abc").substr(0, 3),
              NetworkMessage::ToString(13, "abc").substr(0, 3));
}

// The first fault found is the one reported; data that lost one or two characters on the way
// is taken as it arrived.
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
        {Frame("16", "4", "5:7"), "<none>"},
        {Frame("16", "5", "5:7"), "<none>"},
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

}  // namespace
