#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "../ErrorText.h"
#include "DumpFolder.h"
#include "TempFolder.h"
#include "WorkerThread.h"
#include "network/ChunkNetworkTransport.h"
#include "network/ControlMessages.h"
#include "network/NetworkMessage.h"
#include "network/NetworkProtocol.h"
#include "network/PacketDumper.h"

namespace {

// Hands every sent text straight back as received, with its own sequence numbers.
class LoopbackTextTransport : public TextNetworkTransport {
public:
    void Send(std::string const& text) override { Deliver(text.c_str()); }
    void Deliver(char const* text) { OnTextReceived(text, ++mSequence); }

private:
    int mSequence = 0;
};

// A chunk transport whose written chunks come straight back into its own receiving side.
class LoopbackChunkTransport : public ChunkNetworkTransport {
public:
    void Receive(char const* frame) { OnReceiveChunk(frame); }

protected:
    void SendChunk(std::string const& frame) override { OnReceiveChunk(frame.c_str()); }
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

TEST(NetworkProtocolTest, RoutesReceivedMessagesToVisitorsInRegistrationOrder) {
    LoopbackTextTransport transport;
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
    protocol.Send(MouseMoveNetMsg({1, 1}));
    EXPECT_EQ(log, (std::vector<std::string>{"second:1,1", "first:1,1"}));
    protocol.UnregisterVisitor(&first);
    EXPECT_EQ(ErrorText<SkypeError>([&] { protocol.UnregisterVisitor(&first); }),
              "Trying to remove network visitor that wasn't added yet");
}

// A visitor's failure, a malformed frame and an unknown id raise on the delivering thread; an
// empty text is passed over. A detached transport no longer reaches the endpoint.
TEST(NetworkProtocolTest, ReceivingErrorsTravelToTheDeliveringThread) {
    LoopbackTextTransport transport, second;
    NetworkProtocol protocol(&transport);
    std::vector<std::string> log;
    Visitor failing(log, "failing"), later(log, "later");
    failing.action = [] { throw std::runtime_error("visitor failed"); };
    protocol.RegisterVisitor(&failing);
    protocol.RegisterVisitor(&later);
    EXPECT_THROW(protocol.Send(MouseMoveNetMsg({3, 4})), std::runtime_error);
    EXPECT_EQ(log, std::vector<std::string>{"failing:3,4"});
    transport.Deliver("");
    EXPECT_EQ(protocol.GetReceiveFps().GetTotal(), LengthOf(MouseMoveNetMsg({3, 4})));
    EXPECT_EQ(ErrorText<NetworkMessageFormatError>([&] { transport.Deliver("16,3,5:7"); }),
              "Message does not start with checksum");
    std::string unknown = NetworkMessage::ToString(42, "x");
    EXPECT_EQ(ErrorText<NetworkMessageFormatError>([&] { transport.Deliver(unknown.c_str()); }),
              "Network message id not registered");

    log.clear();
    failing.action = nullptr;
    protocol.SetTransport(&second);
    transport.Send(MouseMoveNetMsg({9, 9}).ToString());
    EXPECT_TRUE(log.empty());
    protocol.Send(MouseMoveNetMsg({2, 2}));
    EXPECT_EQ(log, (std::vector<std::string>{"failing:2,2", "later:2,2"}));
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
    auto transport = std::make_unique<LoopbackChunkTransport>();
    auto protocol = std::make_unique<NetworkProtocol>(transport.get());
    protocol->EnableDump(dump.Name());
    std::vector<std::string> log;
    Visitor closer(log, "closer"), later(log, "later");
    closer.action = [&] {
        protocol.reset();
        transport.reset();
    };
    protocol->RegisterVisitor(&closer);
    protocol->RegisterVisitor(&later);
    std::string frame = NetworkMessage::ToString(99, "1:1:1:" + MouseMoveNetMsg({1, 2}).ToString());
    transport->Receive(frame.c_str());
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
    earlier.Enable(folder.Name());
    for (char const* direction : {"sent", "recv"}) {
        WriteWholeFile(folder.Root() + direction + "\\old.pkt", "x");
        WriteWholeFile(folder.Root() + direction + "\\old.msg", "x");
        WriteWholeFile(folder.Root() + direction + "\\notes.txt", "kept");
    }
    LoopbackChunkTransport transport;
    NetworkProtocol protocol(&transport);
    protocol.EnableDump(folder.Name());
    MouseMoveNetMsg message({5, 7});
    protocol.Send(message);

    std::regex const name(R"(\d{1,2}\.\d{1,2}\.\d{1,2}\.\d{1,3}_1\.(msg|pkt))");
    std::string const chunk = NetworkMessage::ToString(99, "1:1:1:" + message.ToString());
    for (std::string direction : {"sent", "recv"}) {
        std::string const path = folder.Root() + direction + "\\";
        std::vector<std::string> names = FilesIn(path);
        ASSERT_EQ(names.size(), 3u);
        for (std::string const& file : names) {
            SCOPED_TRACE(file);
            if (file != "notes.txt") {
                EXPECT_TRUE(std::regex_match(file, name));
                std::string const text = direction == "sent" ? message.ToString() : "5:7";
                EXPECT_EQ(ReadWholeFile(path + file), file.find(".msg") != std::string::npos ? text : chunk);
            }
        }
    }
    EXPECT_THROW(transport.Receive("not a frame"), NetworkMessageFormatError);
    std::vector<std::string> received = FilesIn(folder.Root() + "recv\\");
    auto bad = std::find_if(received.begin(), received.end(), [](std::string const& file) {
        return file.find("_-1_bad.pkt") != std::string::npos;
    });
    ASSERT_NE(bad, received.end());
    EXPECT_EQ(ReadWholeFile(folder.Root() + "recv\\" + *bad), "not a frame");

    // Dumps of one sequence and kind within one millisecond still get a file each.
    for (int i = 0; i < 5; ++i) {
        earlier.Dump(PacketDumper::kSent, PacketDumper::kPacket, "x", 1, 3, true);
    }
    EXPECT_EQ(FilesIn(folder.Root() + "sent\\").size(), 3u + 5u);
    // Detaching takes the dumper away from the transport.
    protocol.SetTransport(nullptr);
    transport.Send(message.ToString());
    EXPECT_EQ(FilesIn(folder.Root() + "sent\\").size(), 3u + 5u);
}

}  // namespace
