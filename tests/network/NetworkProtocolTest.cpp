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

namespace {

using Files = std::map<std::string, std::string>;

// A packet dump folder of this test beside the executable, removed with its files afterwards.
struct DumpFolder {
    ~DumpFolder() { std::filesystem::remove_all(Root()); }
    std::string Root() const { return FileHelper::GetModulePath() + "dump\\" + name + "\\"; }
    // The files dumped in one direction, named without their time.
    Files Dumped(std::string const& direction) const {
        Files files;
        std::regex const time(R"(^\d{1,2}\.\d{1,2}\.\d{1,2}\.\d{1,3}_)");
        for (auto const& entry : std::filesystem::directory_iterator(Root() + direction)) {
            files[std::regex_replace(entry.path().filename().string(), time, "")] =
                ReadWholeFile(entry.path().string());
        }
        return files;
    }
    std::string name = "test-" + std::to_string(GetCurrentProcessId());
};

using Texts = std::vector<std::pair<std::string, int>>;

// Collects the chunk texts a transport writes (and receives their frames too when `loopback` is
// set), and feeds frames to its receiving side.
class RecordingTransport : public ChunkNetworkTransport {
public:
    explicit RecordingTransport(bool loopback = false) : mLoopback(loopback) {
        OnTextReceived.Add(MakeDelegate<&RecordingTransport::OnText>(this));
    }

    void Receive(std::string const& frame) { OnReceiveChunk(frame.c_str()); }
    // Frames a chunk text as the peer would and receives it.
    void ReceiveChunk(std::string const& chunk) { Receive(NetworkMessage::ToString(kChunkId, chunk)); }

    std::vector<std::string> chunks;
    Texts texts;  // and their sequence numbers

protected:
    void SendChunk(std::string const& frame) override {
        int id = 0;
        chunks.push_back(NetworkMessage::ParseResponse(frame.c_str(), id));
        EXPECT_EQ(id, kChunkId);
        if (mLoopback) {
            Receive(frame);
        }
    }

private:
    void OnText(char const* text, int sequence) { texts.emplace_back(text, sequence); }
    bool mLoopback;
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
// Parts may come in any order, sequences interleaved; a sequence number may be used again. A
// bad chunk raises and leaves what was good. Only messages whose chunks stopped coming expire.
TEST(ChunkNetworkTransportTest, CutsAndReassemblesChunksAndRejectsBadOnes) {
    RecordingTransport transport;
    transport.Send(std::string(65000, 'x') + "yz");
    transport.SetChunkSize(3);
    for (char const* text : {"abc", "abcd", "", "abcdefg"}) {
        transport.Send(text);
    }
    transport.SetChunkSize(0);
    EXPECT_EQ(ErrorText<std::exception>([&] { transport.Send("abc"); }), "Division by zero in GetPartsCount");
    EXPECT_EQ(transport.chunks,
              (std::vector<std::string>{"1:1:2:" + std::string(65000, 'x'), "1:2:2:yz", "2:1:1:abc",
                                        "3:1:2:abc", "3:2:2:d", "5:1:3:abc", "5:2:3:def", "5:3:3:g"}));
    for (char const* chunk : {"7:2:3:two:", "7:3:3:three", "8:1:2:a", "9:1:1:solo", "7:1:3:one:", "8:2:2:b",
                              "7:1:1:again", "5:1:2:first"}) {
        transport.ReceiveChunk(chunk);
    }
    struct Case {
        std::string chunk;
        std::string error;
    } const cases[] = {
        {"5:1:2", "Invalid chunk fields"},
        {"5:0:2:x", "Invalid chunk part/count value"},
        {"5:1:0:x", "Invalid chunk part/count value"},
        {"5:3:2:x", "Invalid chunk part/count value"},  // a part beyond the count
        {"5:-1:2:x", "Invalid chunk part/count value"},
        {"5:1:999999999:x", "Invalid chunk part/count value"},  // more chunks than any payload needs
        {"5:1:2:again", "Duplicated part for same sequence"},
        {"5:2:3:x", "Different count for same sequence"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.chunk);
        EXPECT_EQ(ErrorText<NetworkMessageFormatError>([&] { transport.ReceiveChunk(c.chunk); }), c.error);
    }
    // Frames of other messages are passed over; a bad frame raises.
    transport.Receive(NetworkMessage::ToString(16, "5:7"));
    EXPECT_EQ(ErrorText<NetworkMessageFormatError>([&] { transport.Receive("99,5,1:1:1:x"); }),
              "Message does not start with checksum");
    transport.ReceiveChunk("5:2:2:second");

    // A slow link: a message whose chunks keep coming stays, however long it takes in all; one
    // whose chunks stopped coming for the expiry time goes, and its sequence number starts over.
    LogCapture log;
    transport.SetExpireTimeout(500);  // 10 chunks 75 ms apart take longer than that
    transport.ReceiveChunk("3:1:4:a");
    transport.ReceiveChunk("6:2:2:y");
    for (int part = 1; part <= 10; ++part) {
        Sleep(part > 1 ? 75 : 0);  // the pace of the link
        transport.ReceiveChunk("1:" + std::to_string(part) + ":10:" + std::to_string(part % 10));
    }
    EXPECT_TRUE(
        log.Contains("Dropped incomplete message seq 3: 3 part(s) never arrived, first missing part 2"));
    EXPECT_TRUE(
        log.Contains("Dropped incomplete message seq 6: 1 part(s) never arrived, first missing part 1"));
    transport.ReceiveChunk("3:1:1:new");
    EXPECT_EQ(transport.texts, (Texts{{"solo", 9},
                                      {"one:two:three", 7},
                                      {"ab", 8},
                                      {"again", 7},
                                      {"firstsecond", 5},
                                      {"1234567890", 1},
                                      {"new", 3}}));
}

// A peer that leaves thousands of messages pending, each announcing the most chunks a message
// may have: the buffer keeps the most recent few, drops each other one with one log line.
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

    // Beyond the limits the idlest go, the one that just grew only when it alone breaks them.
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

    // An expiry pass costs only what it drops: the parts list is built for those, when asked.
    buffer.SetExpireTimeout(0);
    Sleep(20);  // past the expiry
    std::vector<NetworkPartsBuffer::ExpiredPartInfo> missing;
    buffer.CheckExpired(&missing);
    ASSERT_EQ(missing.size(), 2u);
    EXPECT_EQ(missing[0].sequence, 100003);
    EXPECT_EQ(missing[0].part, 3);
    EXPECT_EQ(missing[1].part, 4);
    EXPECT_EQ(buffer.GetHeldBytes(), 0u);
    buffer.Add(NetworkDatagram(1, 2, 7, std::string(4 * held, 'p').c_str()));
    EXPECT_TRUE(log.Contains("Dropped incomplete message seq 7: 1 part(s) never arrived"));
    EXPECT_EQ(buffer.GetSequenceCount(), 0u);
}

// Visitors are called in registration order, once per registration; a visitor's failure and an
// unknown id raise on the delivering thread. Visitors may change the list while a message is
// routed, as every state change does: routing goes on over the visitors registered when it
// arrived, minus the ones unregistered meanwhile. A detached transport no longer reaches the
// endpoint. Senders on several threads: the counters lose nothing.
TEST(NetworkProtocolTest, RoutesInRegistrationOrderAndRaisesOnTheDeliveringThread) {
    RecordingTransport transport(true), other(true);
    NetworkProtocol protocol(&transport);
    std::vector<std::string> log;
    Visitor first(log, "first"), second(log, "second"), third(log, "third"), successor(log, "successor");
    protocol.RegisterVisitor(&first);
    protocol.RegisterVisitor(&second);
    protocol.RegisterVisitor(&first);
    MouseMoveNetMsg message({5, 7});
    protocol.Send(message);
    EXPECT_EQ(log, (std::vector<std::string>{"first:5,7", "second:5,7", "first:5,7"}));
    EXPECT_EQ(protocol.GetSendFps().GetTotal(), LengthOf(message));

    log.clear();
    protocol.UnregisterVisitor(&first);
    second.action = [] { throw std::runtime_error("visitor failed"); };
    EXPECT_THROW(protocol.Send(MouseMoveNetMsg({3, 4})), std::runtime_error);
    EXPECT_EQ(log, std::vector<std::string>{"second:3,4"});
    protocol.UnregisterVisitor(&first);
    EXPECT_EQ(ErrorText<SkypeError>([&] { protocol.UnregisterVisitor(&first); }),
              "Trying to remove network visitor that wasn't added yet");
    EXPECT_EQ(protocol.GetReceiveFps().GetTotal(), LengthOf(message) + LengthOf(MouseMoveNetMsg({3, 4})));
    EXPECT_EQ(ErrorText<NetworkMessageFormatError>(
                  [&] { transport.ReceiveChunk("9:1:1:" + NetworkMessage::ToString(42, "x")); }),
              "Network message id not registered");

    second.action = [&] {
        protocol.UnregisterVisitor(&second);
        protocol.RegisterVisitor(&successor);
    };
    first.action = [&] { protocol.UnregisterVisitor(&third); };
    protocol.RegisterVisitor(&first);
    protocol.RegisterVisitor(&third);
    log.clear();
    protocol.Send(MouseMoveNetMsg({1, 1}));
    EXPECT_EQ(log, (std::vector<std::string>{"second:1,1", "first:1,1"}));

    log.clear();
    first.action = nullptr;
    protocol.SetTransport(&other);
    transport.Send(MouseMoveNetMsg({9, 9}).ToString());
    EXPECT_TRUE(log.empty());
    protocol.Send(MouseMoveNetMsg({2, 2}));
    EXPECT_EQ(log, (std::vector<std::string>{"first:2,2", "successor:2,2"}));
    int64_t const sent = protocol.GetSendFps().GetTotal();
    protocol.SetTransport(nullptr);
    EXPECT_EQ(ErrorText<NetworkError>([&] { protocol.Send(message); }), "Network transport not set");
    EXPECT_EQ(protocol.GetSendFps().GetTotal(), sent);

    struct Discarding : TextNetworkTransport {
        void Send(std::string const&) override {}
    } discarding;
    protocol.SetTransport(&discarding);
    auto sender = [&] {
        for (int i = 0; i < 50000; ++i) {
            protocol.Send(message);
        }
    };
    WorkerThread a(sender), b(sender), c(sender);
    a.Join(), b.Join(), c.Join();
    EXPECT_EQ(protocol.GetSendFps().GetTotal(), sent + 3 * 50000 * LengthOf(message));
}

// A visitor may end the whole channel from inside its Handle: the endpoint and the transport
// whose received text it is handling. Until then both directions are dumped: the message (.msg)
// and each chunk frame (.pkt), named by time and sequence; a frame that cannot be read as bad.
TEST(NetworkProtocolTest, AVisitorMayDeleteTheEndpointAndTheTransportThatCalledIt) {
    DumpFolder dump;
    auto transport = std::make_unique<RecordingTransport>(true);
    auto protocol = std::make_unique<NetworkProtocol>(transport.get());
    protocol->EnableDump(dump.name);
    std::vector<std::string> log;
    Visitor closer(log, "closer"), later(log, "later");
    protocol->RegisterVisitor(&closer);
    protocol->RegisterVisitor(&later);
    MouseMoveNetMsg message({5, 7});
    protocol->Send(message);
    EXPECT_THROW(transport->Receive("not a frame"), NetworkMessageFormatError);
    closer.action = [&] {
        protocol.reset();
        transport.reset();
    };
    transport->Receive(NetworkMessage::ToString(99, "2:1:1:" + MouseMoveNetMsg({1, 2}).ToString()));
    EXPECT_EQ(log, (std::vector<std::string>{"closer:5,7", "later:5,7", "closer:1,2"}));
    EXPECT_FALSE(protocol);
    EXPECT_FALSE(transport);
    std::string const chunk = NetworkMessage::ToString(99, "1:1:1:" + message.ToString());
    EXPECT_EQ(dump.Dumped("sent"), (Files{{"1.msg", message.ToString()}, {"1.pkt", chunk}}));
    EXPECT_EQ(dump.Dumped("recv"),
              (Files{{"1.msg", "5:7"}, {"1.pkt", chunk}, {"-1_bad.pkt", "not a frame"}, {"2.msg", "1:2"}}));
}

}  // namespace
