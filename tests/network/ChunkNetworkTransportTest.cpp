#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "../ErrorText.h"
#include "LogCapture.h"
#include "foundation/Errors.h"
#include "network/ChunkNetworkTransport.h"
#include "network/NetworkMessage.h"
#include "network/NetworkPartsBuffer.h"

namespace {

// Collects the frames a transport writes, and feeds frames to its receiving side.
class RecordingTransport : public ChunkNetworkTransport {
public:
    RecordingTransport() { OnTextReceived.Add(MakeDelegate<&RecordingTransport::OnText>(this)); }
    ~RecordingTransport() override { OnTextReceived.Remove(MakeDelegate<&RecordingTransport::OnText>(this)); }

    void Receive(std::string const& frame) { OnReceiveChunk(frame.c_str()); }
    // Frames a chunk text as the peer would and receives it.
    void ReceiveChunk(std::string const& chunk) { Receive(NetworkMessage::ToString(kChunkId, chunk)); }

    std::vector<std::string> frames;
    std::vector<std::pair<std::string, int>> texts;

protected:
    void SendChunk(std::string const& frame) override { frames.push_back(frame); }

private:
    void OnText(char const* text, int sequence) { texts.emplace_back(text, sequence); }
};

// The chunk text inside a frame.
std::string ChunkOf(std::string const& frame) {
    int id = 0;
    char const* data = NetworkMessage::ParseResponse(frame.c_str(), id);
    EXPECT_EQ(id, 99);
    return data;
}

// Chunks read "sequence:part:count:piece"; an empty text writes nothing but uses up its number.
TEST(ChunkNetworkTransportTest, CutsMessagesIntoNumberedChunksOfAtMostTheChunkSize) {
    RecordingTransport transport;
    transport.Send(std::string(65000, 'x') + "yz");
    ASSERT_EQ(transport.frames.size(), 2u);
    EXPECT_EQ(ChunkOf(transport.frames[0]), "1:1:2:" + std::string(65000, 'x'));
    EXPECT_EQ(ChunkOf(transport.frames[1]), "1:2:2:yz");
    transport.SetChunkSize(3);
    for (char const* text : {"abc", "abcd", "", "abcdefg"}) {
        transport.Send(text);
    }
    std::vector<std::string> chunks;
    for (std::size_t i = 2; i < transport.frames.size(); ++i) {
        chunks.push_back(ChunkOf(transport.frames[i]));
    }
    EXPECT_EQ(chunks, (std::vector<std::string>{"2:1:1:abc", "3:1:2:abc", "3:2:2:d", "5:1:3:abc", "5:2:3:def",
                                                "5:3:3:g"}));

    transport.frames.clear();
    transport.SetChunkSize(0);
    EXPECT_EQ(ErrorText<std::exception>([&] { transport.Send("abc"); }), "Division by zero in GetPartsCount");
    EXPECT_TRUE(transport.frames.empty());
}

// Parts may come in any order, sequences interleaved; a sequence number may be used again.
TEST(ChunkNetworkTransportTest, ReassemblesChunksInPartOrder) {
    RecordingTransport transport;
    for (char const* chunk :
         {"7:2:3:two:", "7:3:3:three", "8:1:2:a", "9:1:1:solo", "7:1:3:one:", "8:2:2:b", "7:1:1:again"}) {
        transport.ReceiveChunk(chunk);
    }
    using Text = std::pair<std::string, int>;
    EXPECT_EQ(transport.texts,
              (std::vector<Text>{{"solo", 9}, {"one:two:three", 7}, {"ab", 8}, {"again", 7}}));
}

TEST(ChunkNetworkTransportTest, RejectsBadChunksAndKeepsWhatWasGood) {
    struct Case {
        std::string chunk;
        std::string error;
    };
    Case const cases[] = {
        {"5:1:2", "Invalid chunk fields"},
        {"5:1", "Invalid chunk fields"},
        {"5:0:2:x", "Invalid chunk part/count value"},
        {"5:1:0:x", "Invalid chunk part/count value"},
        {"5:3:2:x", "Invalid chunk part/count value"},  // a part beyond the count
        {"5:-1:2:x", "Invalid chunk part/count value"},
        {"5:1:999999999:x", "Invalid chunk part/count value"},  // more chunks than any payload needs
    };
    RecordingTransport transport;
    transport.ReceiveChunk("5:1:2:first");
    for (Case const& c : cases) {
        SCOPED_TRACE(c.chunk);
        EXPECT_EQ(ErrorText<NetworkMessageFormatError>([&] { transport.ReceiveChunk(c.chunk); }), c.error);
    }
    EXPECT_EQ(ErrorText<NetworkMessageFormatError>([&] { transport.ReceiveChunk("5:1:2:again"); }),
              "Duplicated part for same sequence");
    EXPECT_EQ(ErrorText<NetworkMessageFormatError>([&] { transport.ReceiveChunk("5:2:3:x"); }),
              "Different count for same sequence");
    EXPECT_TRUE(transport.texts.empty());
    // Frames of other messages are passed over; a bad frame raises.
    transport.Receive(NetworkMessage::ToString(16, "5:7"));
    EXPECT_EQ(ErrorText<NetworkMessageFormatError>([&] { transport.Receive("99,5,1:1:1:x"); }),
              "Message does not start with checksum");
    EXPECT_TRUE(transport.texts.empty());
    transport.ReceiveChunk("5:2:2:second");
    ASSERT_EQ(transport.texts.size(), 1u);
    EXPECT_EQ(transport.texts[0].first, "firstsecond");
}

// A slow link: a message whose chunks keep coming stays, however long it takes in all; one
// whose chunks stopped coming for the expiry time goes, and its sequence number starts over.
TEST(ChunkNetworkTransportTest, OnlyMessagesWhoseChunksStoppedComingAreDropped) {
    LogCapture log;
    RecordingTransport transport;
    transport.SetExpireTimeout(500);  // 10 chunks 75 ms apart take longer than that
    transport.ReceiveChunk("3:1:4:a");
    transport.ReceiveChunk("6:2:2:y");
    for (int part = 1; part <= 10; ++part) {
        if (part > 1) {
            Sleep(75);  // the pace of the link
        }
        transport.ReceiveChunk("1:" + std::to_string(part) + ":10:" + std::to_string(part % 10));
    }
    ASSERT_EQ(transport.texts.size(), 1u);
    EXPECT_EQ(transport.texts[0].first, "1234567890");
    EXPECT_TRUE(
        log.Contains("Dropped incomplete message seq 3: 3 part(s) never arrived, first missing part 2"));
    EXPECT_TRUE(
        log.Contains("Dropped incomplete message seq 6: 1 part(s) never arrived, first missing part 1"));
    transport.ReceiveChunk("3:1:1:new");
    ASSERT_EQ(transport.texts.size(), 2u);
    EXPECT_EQ(transport.texts[1].first, "new");
}

// A peer that leaves thousands of messages pending, each announcing the most chunks a message
// may have: the buffer keeps only the most recent few, drops each of the others with one log
// line, and an expiry pass costs only what it drops.
TEST(NetworkPartsBufferTest, WhatAPeerLeavesPendingIsBoundedAndDroppedIdlestFirst) {
    LogCapture log;
    NetworkPartsBuffer buffer;
    unsigned int const count = NetworkDatagram::kMaxCount;
    for (int sequence = 1; sequence <= 5000; ++sequence) {
        buffer.Add(NetworkDatagram(1, count, sequence, "x"));
    }
    EXPECT_EQ(buffer.GetSequenceCount(), NetworkPartsBuffer::kMaxSequences);
    EXPECT_EQ(log.Count("part(s) never arrived"), static_cast<int>(5000 - NetworkPartsBuffer::kMaxSequences));
    EXPECT_TRUE(log.Contains("Dropped incomplete message seq 1: " + std::to_string(count - 1) +
                             " part(s) never arrived, first missing part 2 (too much pending)"));

    // The sequence a chunk came to becomes the freshest; beyond the limits the idlest go, the
    // one that just grew only when it alone breaks them.
    std::size_t const held = 1000 + NetworkSequenceMerge::kChunkOverhead;
    buffer.SetLimits(3, 3 * held + 1 + NetworkSequenceMerge::kChunkOverhead);
    std::string const piece(1000, 'p');
    buffer.Add(NetworkDatagram(1, 3, 100001, piece.c_str()));
    buffer.Add(NetworkDatagram(1, 3, 100002, piece.c_str()));
    buffer.Add(NetworkDatagram(1, 4, 100003, piece.c_str()));
    buffer.Add(NetworkDatagram(2, 3, 100001, "!"));  // at the byte limit: 100002 is now the idlest
    EXPECT_EQ(buffer.GetSequenceCount(), 3u);
    buffer.Add(NetworkDatagram(2, 4, 100003, piece.c_str()));
    EXPECT_EQ(buffer.GetSequenceCount(), 2u);
    EXPECT_TRUE(log.Contains("Dropped incomplete message seq 100002: 2 part(s) never arrived"));
    EXPECT_EQ(buffer.Add(NetworkDatagram(3, 3, 100001, piece.c_str())), piece + "!" + piece);
    EXPECT_EQ(buffer.GetHeldBytes(), 2 * held);

    // The parts list is built only when asked for, for the expired sequences only.
    buffer.SetExpireTimeout(0);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 2) {
        Sleep(1);
    }
    std::vector<NetworkPartsBuffer::ExpiredPartInfo> missing;
    buffer.CheckExpired(&missing);
    ASSERT_EQ(missing.size(), 2u);
    EXPECT_EQ(missing[0].sequence, 100003);
    EXPECT_EQ(missing[0].part, 3);
    EXPECT_EQ(missing[1].part, 4);
    EXPECT_EQ(buffer.GetSequenceCount(), 0u);
    EXPECT_EQ(buffer.GetHeldBytes(), 0u);
    buffer.Add(NetworkDatagram(1, 2, 7, std::string(4 * held, 'p').c_str()));
    EXPECT_TRUE(log.Contains("Dropped incomplete message seq 7: 1 part(s) never arrived"));
    EXPECT_EQ(buffer.GetSequenceCount(), 0u);
}

}  // namespace
