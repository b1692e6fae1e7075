#include "network/NetworkDatagram.h"

#include <cstdlib>
#include <vector>

#include "foundation/Errors.h"
#include "foundation/StringHelper.h"
#include "network/ChunkNetworkTransport.h"
#include "network/SkypeCoder.h"

// A message text is at most twice its coded payload (escaping) plus a short frame.
unsigned int const NetworkDatagram::kMaxCount = static_cast<unsigned int>(
    (2ull * kMaxUncompressedSize + 1024) / ChunkNetworkTransport::kDefaultChunkSize + 1);

NetworkDatagram::NetworkDatagram(unsigned int part, unsigned int count, int sequence, char const* data)
    : mSequence(sequence), mPart(part), mCount(count), mData(data) {}

NetworkDatagram::NetworkDatagram(char const* text) {
    Parse(text);
}

void NetworkDatagram::Parse(char const* text) {
    std::vector<std::string> fields;
    char const* rest = StringHelper::GetParts(text, 3, fields, ':');
    // The piece follows a third colon; without it ("5:1:2") the count swallowed the end.
    bool const thirdColon = rest && rest > text && rest[-1] == ':';
    if (!thirdColon) {
        Raise(NetworkMessageFormatError("Invalid chunk fields"));
    }
    mData = rest;
    mSequence = std::atoi(fields[0].c_str());
    mPart = static_cast<unsigned int>(std::atoi(fields[1].c_str()));
    mCount = static_cast<unsigned int>(std::atoi(fields[2].c_str()));
    // A part beyond the count would complete a message with a wrong text; a huge count would
    // make the peer's number drive our loops.
    if (mPart == 0 || mCount == 0 || mPart > mCount || mCount > kMaxCount) {
        Raise(NetworkMessageFormatError("Invalid chunk part/count value"));
    }
}
