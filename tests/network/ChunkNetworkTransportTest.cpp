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

// The chunk text inside a frame: "sequence:part:count:piece".
std::string ChunkOf(std::string const& frame) {
    int id = 0;
    char const* data = NetworkMessage::ParseResponse(frame.c_str(), id);
    EXPECT_EQ(id, 99);
    return data;
}

TEST(ChunkNetworkTransportTest, CutsMessagesIntoNumberedChunksOfAtMostTheChunkSize) {
    struct Case {
        std::size_t length;
        std::vector<std::size_t> pieces;
    };
    Case const cases[] = {{1, {1}}, {65000, {65000}}, {65001, {65000, 1}}, {130001, {65000, 65000, 1}}};
    RecordingTransport transport;
    int sequence = 0;
    for (Case const& c : cases) {
        SCOPED_TRACE(c.length);
        transport.frames.clear();
        std::string text(c.length, 'x');
        text[0] = 'a';
        text.back() = 'z';
        transport.Send(text);
        ++sequence;
        ASSERT_EQ(transport.frames.size(), c.pieces.size());
        std::string joined;
        for (std::size_t i = 0; i < c.pieces.size(); ++i) {
            std::string chunk = ChunkOf(transport.frames[i]);
            std::string head = std::to_string(sequence) + ":" + std::to_string(i + 1) + ":" +
                               std::to_string(c.pieces.size()) + ":";
            ASSERT_EQ(chunk.substr(0, head.size()), head);
            EXPECT_EQ(chunk.size() - head.size(), c.pieces[i]);
            joined += chunk.substr(head.size());
        }
        EXPECT_EQ(joined, text);
    }

    // An empty text writes nothing but uses up its sequence number.
    transport.frames.clear();
    transport.Send("");
    EXPECT_TRUE(transport.frames.empty());
    transport.Send("next");
    EXPECT_EQ(ChunkOf(transport.frames.at(0)), std::to_string(sequence + 2) + ":1:1:next");

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

TEST(ChunkNetworkTransportTest, DropsIncompleteMessagesOnceTheyExpire) {
    LogCapture log;
    RecordingTransport transport;
    transport.SetExpireTimeout(0);
    transport.ReceiveChunk("3:1:4:a");
    transport.ReceiveChunk("6:2:2:y");
    // Let the tick count move past the creation tick.
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 2) {
        Sleep(1);
    }
    transport.ReceiveChunk("4:1:1:fresh");
    EXPECT_TRUE(
        log.Contains("Dropped incomplete message seq 3: 3 part(s) never arrived, first missing part 2"));
    EXPECT_TRUE(
        log.Contains("Dropped incomplete message seq 6: 1 part(s) never arrived, first missing part 1"));
    // Sequence 3 starts over: the part it had is gone.
    transport.ReceiveChunk("3:1:1:new");
    ASSERT_EQ(transport.texts.size(), 2u);
    EXPECT_EQ(transport.texts[1].first, "new");
}

// A slow link: a message whose chunks keep coming stays, however long it takes in all; only
// one whose chunks stopped coming for the expiry time goes.
TEST(ChunkNetworkTransportTest, AMessageWhoseChunksKeepComingIsNeverDropped) {
    RecordingTransport transport;
    transport.SetExpireTimeout(500);  // 10 chunks 75 ms apart take longer than that
    for (int part = 1; part <= 10; ++part) {
        if (part > 1) {
            Sleep(75);  // the pace of the link
        }
        transport.ReceiveChunk("1:" + std::to_string(part) + ":10:" + std::to_string(part % 10));
    }
    ASSERT_EQ(transport.texts.size(), 1u);
    EXPECT_EQ(transport.texts[0].first, "1234567890");
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

    // A sequence that receives a chunk becomes the freshest, so the bytes limit drops others.
    buffer.SetLimits(3, 3 * (1000 + NetworkSequenceMerge::kChunkOverhead));
    std::string const piece(1000, 'p');
    buffer.Add(NetworkDatagram(1, 3, 100001, piece.c_str()));
    buffer.Add(NetworkDatagram(1, 3, 100002, piece.c_str()));
    buffer.Add(NetworkDatagram(1, 3, 100003, piece.c_str()));
    EXPECT_EQ(buffer.GetSequenceCount(), 3u);
    buffer.Add(NetworkDatagram(2, 3, 100001, piece.c_str()));  // 100002 is now the idlest
    EXPECT_EQ(buffer.GetSequenceCount(), 2u);
    EXPECT_TRUE(log.Contains("Dropped incomplete message seq 100002: 2 part(s) never arrived"));
    EXPECT_EQ(buffer.Add(NetworkDatagram(3, 3, 100001, "!")), piece + piece + "!");
    EXPECT_EQ(buffer.GetHeldBytes(), 1000 + NetworkSequenceMerge::kChunkOverhead);

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
    EXPECT_EQ(missing[0].part, 2);
    EXPECT_EQ(missing[1].part, 3);
    EXPECT_EQ(buffer.GetSequenceCount(), 0u);
    EXPECT_EQ(buffer.GetHeldBytes(), 0u);
}

}  // namespace
