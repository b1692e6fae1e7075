#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "../ErrorText.h"
#include "TempFolder.h"
#include "WorkerThread.h"
#include "foundation/FileHelper.h"
#include "network/ChunkNetworkTransport.h"
#include "network/ControlMessages.h"
#include "network/NetworkMessage.h"
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
    auto transport = std::make_unique<LoopbackChunkTransport>();
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
    earlier.Enable(folder.name);
    WriteWholeFile(folder.Root() + "sent\\old.pkt", "x");
    WriteWholeFile(folder.Root() + "recv\\notes.txt", "kept");
    LoopbackChunkTransport transport;
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
