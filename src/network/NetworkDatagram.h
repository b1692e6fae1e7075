#pragma once

#include <string>

// One received chunk of a message: "sequence:part:count:piece".
class NetworkDatagram {
public:
    NetworkDatagram() = default;
    NetworkDatagram(unsigned int part, unsigned int count, int sequence, char const* data);
    // Parses a chunk text; raises NetworkMessageFormatError when it is malformed.
    explicit NetworkDatagram(char const* text);

    void Parse(char const* text);

    int GetSequence() const { return mSequence; }
    unsigned int GetPart() const { return mPart; }
    unsigned int GetCount() const { return mCount; }
    std::string const& GetData() const { return mData; }

    // The most chunks a message may have: more could not carry a payload the coder accepts.
    static unsigned int const kMaxCount;

private:
    int mSequence = 0;
    unsigned int mPart = 1;
    unsigned int mCount = 1;
    std::string mData;
};
