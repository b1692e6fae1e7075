#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "../ErrorText.h"
#include "LogCapture.h"
#include "TempFolder.h"
#include "WorkerThread.h"
#include "foundation/FileHelper.h"
#include "network/ChunkNetworkTransport.h"
#include "network/ControlMessages.h"
#include "network/NetworkMessage.h"
#include "network/NetworkPartsBuffer.h"
#include "network/NetworkProtocol.h"
#include "network/PacketDumper.h"

namespace {

// A packet dump folder of this test beside the executable, removed with its files afterwards.
struct DumpFolder {
    DumpFolder() {
        static int number = 0;
        name = "test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(number++);
    }
    ~DumpFolder() { std::filesystem::remove_all(Root()); }
    std::string Root() const { return FileHelper::GetModulePath() + "dump\\" + name + "\\"; }
    std::string name;
};

std::vector<std::string> FilesIn(std::string const& folder) {
    std::vector<std::string> names;
    for (auto const& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

using Texts = std::vector<std::pair<std::string, int>>;

// Collects the frames a transport writes (and receives them too when `loopback` is set), and
// feeds frames to its receiving side.
class RecordingTransport : public ChunkNetworkTransport {
public:
    explicit RecordingTransport(bool loopback = false) : mLoopback(loopback) {
        OnTextReceived.Add(MakeDelegate<&RecordingTransport::OnText>(this));
    }
    ~RecordingTransport() override { OnTextReceived.Remove(MakeDelegate<&RecordingTransport::OnText>(this)); }

    void Receive(std::string const& frame) { OnReceiveChunk(frame.c_str()); }
    // Frames a chunk text as the peer would and receives it.
    void ReceiveChunk(std::string const& chunk) { Receive(NetworkMessage::ToString(kChunkId, chunk)); }

    std::vector<std::string> frames;
    Texts texts;  // and their sequence numbers

protected:
    void SendChunk(std::string const& frame) override {
        frames.push_back(frame);
        if (mLoopback) {
            Receive(frame);
        }
    }

private:
    void OnText(char const* text, int sequence) { texts.emplace_back(text, sequence); }
    bool mLoopback;
};

// The chunk text inside a frame.
std::string ChunkOf(std::string const& frame) {
    int id = 0;
    char const* data = NetworkMessage::ParseResponse(frame.c_str(), id);
    EXPECT_EQ(id, 99);
    return data;
}

// Hands every sent text straight back as received, with its own sequence numbers.
class LoopbackTextTransport : public TextNetworkTransport {
public:
    void Send(std::string const& text) override { Deliver(text.c_str()); }
    void Deliver(char const* text) { OnTextReceived(text, ++mSequence); }

private:
    int mSequence = 0;
};

// Logs "name:x,y" for each mouse move it sees, then runs its action.
struct Visitor : NetworkVisitor {
    Visitor(std::vector<std::string>& log, std::string name) : log(log), name(std::move(name)) {}
    void Handle(MouseMoveNetMsg const& message) override {
        log.push_back(name + ":" + std::to_string(message.GetMousePos().x) + "," +
                      std::to_string(message.GetMousePos().y));
        if (action) {
            action();
        }
    }
    std::vector<std::string>& log;
    std::string name;
    std::function<void()> action;
};

int64_t LengthOf(NetworkMessage const& message) {
    return static_cast<int64_t>(message.ToString().size());
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
    EXPECT_EQ(transport.texts, (Texts{{"solo", 9}, {"one:two:three", 7}, {"ab", 8}, {"again", 7}}));
}

TEST(ChunkNetworkTransportTest, RejectsBadChunksAndKeepsWhatWasGood) {
    struct Case {
        std::string chunk;
        std::string error;
    };
    Case const cases[] = {
        {"5:1:2", "Invalid chunk fields"},
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
    // Frames of other messages are passed over; a bad frame raises.
    transport.Receive(NetworkMessage::ToString(16, "5:7"));
    EXPECT_EQ(ErrorText<NetworkMessageFormatError>([&] { transport.Receive("99,5,1:1:1:x"); }),
              "Message does not start with checksum");
    transport.ReceiveChunk("5:2:2:second");
    EXPECT_EQ(transport.texts, (Texts{{"firstsecond", 5}}));
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
    EXPECT_TRUE(
        log.Contains("Dropped incomplete message seq 3: 3 part(s) never arrived, first missing part 2"));
    EXPECT_TRUE(
        log.Contains("Dropped incomplete message seq 6: 1 part(s) never arrived, first missing part 1"));
    transport.ReceiveChunk("3:1:1:new");
    EXPECT_EQ(transport.texts, (Texts{{"1234567890", 1}, {"new", 3}}));
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

// Visitors are called in registration order, once per registration; a visitor's failure, a
// malformed frame and an unknown id raise on the delivering thread, and an empty text is passed
// over. A detached transport no longer reaches the endpoint.
TEST(NetworkProtocolTest, RoutesInRegistrationOrderAndRaisesOnTheDeliveringThread) {
    LoopbackTextTransport transport, other;
    NetworkProtocol protocol(&transport);
    std::vector<std::string> log;
    Visitor first(log, "first"), second(log, "second");
    protocol.RegisterVisitor(&first);
    protocol.RegisterVisitor(&second);
    protocol.RegisterVisitor(&first);
    MouseMoveNetMsg message({5, 7});
    protocol.Send(message);
    EXPECT_EQ(log, (std::vector<std::string>{"first:5,7", "second:5,7", "first:5,7"}));
    EXPECT_EQ(protocol.GetSendFps().GetTotal(), LengthOf(message));
    EXPECT_EQ(protocol.GetReceiveFps().GetTotal(), LengthOf(message));

    log.clear();
    protocol.UnregisterVisitor(&first);
    second.action = [] { throw std::runtime_error("visitor failed"); };
    EXPECT_THROW(protocol.Send(MouseMoveNetMsg({3, 4})), std::runtime_error);
    EXPECT_EQ(log, std::vector<std::string>{"second:3,4"});
    second.action = nullptr;
    protocol.UnregisterVisitor(&first);
    EXPECT_EQ(ErrorText<SkypeError>([&] { protocol.UnregisterVisitor(&first); }),
              "Trying to remove network visitor that wasn't added yet");
    transport.Deliver("");
    EXPECT_EQ(protocol.GetReceiveFps().GetTotal(), LengthOf(message) + LengthOf(MouseMoveNetMsg({3, 4})));
    EXPECT_EQ(ErrorText<NetworkMessageFormatError>([&] { transport.Deliver("16,3,5:7"); }),
              "Message does not start with checksum");
    std::string unknown = NetworkMessage::ToString(42, "x");
    EXPECT_EQ(ErrorText<NetworkMessageFormatError>([&] { transport.Deliver(unknown.c_str()); }),
              "Network message id not registered");

    log.clear();
    protocol.SetTransport(&other);
    transport.Send(MouseMoveNetMsg({9, 9}).ToString());
    EXPECT_TRUE(log.empty());
    protocol.Send(MouseMoveNetMsg({2, 2}));
    EXPECT_EQ(log, std::vector<std::string>{"second:2,2"});
    int64_t const sent = protocol.GetSendFps().GetTotal();
    protocol.SetTransport(nullptr);
    EXPECT_EQ(ErrorText<NetworkError>([&] {
                  protocol.Send(MouseMoveNetMsg({1, 2}));
              }),
              "Network transport not set");
    EXPECT_EQ(protocol.GetSendFps().GetTotal(), sent);
}

// Visitors that change the visitor list while a message is routed, as every state change
// does: routing goes on over the visitors registered when the message arrived, minus the ones
// unregistered meanwhile; a visitor registered meanwhile first sees the next message.
TEST(NetworkProtocolTest, VisitorsMayChangeTheVisitorListWhileAMessageIsRouted) {
    LoopbackTextTransport transport;
    NetworkProtocol protocol(&transport);
    std::vector<std::string> log;
    Visitor first(log, "first"), second(log, "second"), third(log, "third"), successor(log, "successor");
    first.action = [&] {
        protocol.UnregisterVisitor(&first);
        protocol.RegisterVisitor(&successor);
    };
    second.action = [&] { protocol.UnregisterVisitor(&third); };
    protocol.RegisterVisitor(&first);
    protocol.RegisterVisitor(&second);
    protocol.RegisterVisitor(&third);

    protocol.Send(MouseMoveNetMsg({1, 1}));
    EXPECT_EQ(log, (std::vector<std::string>{"first:1,1", "second:1,1"}));
    log.clear();
    second.action = nullptr;
    protocol.Send(MouseMoveNetMsg({2, 2}));
    EXPECT_EQ(log, (std::vector<std::string>{"second:2,2", "successor:2,2"}));
}

// A visitor may end the whole channel from inside its Handle: the endpoint and the transport
// whose received text it is handling.
TEST(NetworkProtocolTest, AVisitorMayDeleteTheEndpointAndTheTransportThatCalledIt) {
    DumpFolder dump;
    auto transport = std::make_unique<RecordingTransport>(true);
    auto protocol = std::make_unique<NetworkProtocol>(transport.get());
    protocol->EnableDump(dump.name);
    std::vector<std::string> log;
    Visitor closer(log, "closer"), later(log, "later");
    closer.action = [&] {
        protocol.reset();
        transport.reset();
    };
    protocol->RegisterVisitor(&closer);
    protocol->RegisterVisitor(&later);
    std::string frame = NetworkMessage::ToString(99, "1:1:1:" + MouseMoveNetMsg({1, 2}).ToString());
    transport->Receive(frame);
    EXPECT_EQ(log, std::vector<std::string>{"closer:1,2"});
    EXPECT_FALSE(protocol);
    EXPECT_FALSE(transport);
}

// Senders on several threads: the counters lose nothing.
TEST(NetworkProtocolTest, CountersCountEverySenderOnEveryThread) {
    struct Discarding : TextNetworkTransport {
        void Send(std::string const&) override {}
    } transport;
    NetworkProtocol protocol(&transport);
    MouseMoveNetMsg message({123, 456});
    constexpr int kPerThread = 50000;
    std::vector<WorkerThread> senders;
    for (int t = 0; t < 4; ++t) {
        senders.emplace_back([&] {
            for (int i = 0; i < kPerThread; ++i) {
                protocol.Send(message);
            }
        });
    }
    for (WorkerThread& sender : senders) {
        sender.Join();
    }
    EXPECT_EQ(protocol.GetSendFps().GetTotal(), 4 * kPerThread * LengthOf(message));
}

// Both directions are dumped: the message (.msg) and each chunk frame (.pkt), named by time and
// sequence; a frame that cannot be read is dumped as bad. Enabling deletes the old dumps only.
TEST(NetworkProtocolTest, DumpsSentAndReceivedMessagesAndChunks) {
    DumpFolder folder;
    PacketDumper earlier;
    earlier.Enable(folder.name);
    WriteWholeFile(folder.Root() + "sent\\old.pkt", "x");
    WriteWholeFile(folder.Root() + "recv\\notes.txt", "kept");
    RecordingTransport transport(true);
    NetworkProtocol protocol(&transport);
    protocol.EnableDump(folder.name);
    MouseMoveNetMsg message({5, 7});
    protocol.Send(message);
    EXPECT_THROW(transport.Receive("not a frame"), NetworkMessageFormatError);

    using Files = std::map<std::string, std::string>;
    auto dumped = [&](std::string const& direction) {
        Files files;
        for (std::string const& name : FilesIn(folder.Root() + direction)) {
            std::regex const time(R"(^\d{1,2}\.\d{1,2}\.\d{1,2}\.\d{1,3}_)");
            files[std::regex_replace(name, time, "")] = ReadWholeFile(folder.Root() + direction + name);
        }
        return files;
    };
    std::string const chunk = NetworkMessage::ToString(99, "1:1:1:" + message.ToString());
    EXPECT_EQ(dumped("sent\\"), (Files{{"1.msg", message.ToString()}, {"1.pkt", chunk}}));
    EXPECT_EQ(
        dumped("recv\\"),
        (Files{{"1.msg", "5:7"}, {"1.pkt", chunk}, {"-1_bad.pkt", "not a frame"}, {"notes.txt", "kept"}}));

    // Dumps of one sequence and kind within one millisecond still get a file each.
    for (int i = 0; i < 5; ++i) {
        earlier.Dump(PacketDumper::kSent, PacketDumper::kPacket, "x", 1, 3, true);
    }
    EXPECT_EQ(FilesIn(folder.Root() + "sent\\").size(), 2u + 5u);
    // Detaching takes the dumper away from the transport.
    protocol.SetTransport(nullptr);
    transport.Send(message.ToString());
    EXPECT_EQ(FilesIn(folder.Root() + "sent\\").size(), 2u + 5u);
}

}  // namespace
