#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "DumpFolder.h"
#include "../ErrorText.h"
#include "LoopbackChunkTransport.h"
#include "TempFolder.h"
#include "WorkerThread.h"
#include "network/ControlMessages.h"
#include "network/NetworkMessage.h"
#include "network/NetworkProtocol.h"

namespace {

// Hands every sent text straight back as received, with its own sequence numbers.
class LoopbackTextTransport : public TextNetworkTransport {
public:
    void Send(std::string const& text) override { Deliver(text.c_str()); }
    void Deliver(char const* text) { OnTextReceived(text, ++mSequence); }

private:
    int mSequence = 0;
};

struct RecordingVisitor : NetworkVisitor {
    RecordingVisitor(std::vector<std::string>& log, std::string name) : log(log), name(std::move(name)) {}
    void Handle(MouseMoveNetMsg const& message) override {
        log.push_back(name + ":" + std::to_string(message.GetMousePos().x) + "," +
                      std::to_string(message.GetMousePos().y));
        if (fail) {
            throw std::runtime_error("visitor failed");
        }
    }
    std::vector<std::string>& log;
    std::string name;
    bool fail = false;
};

TEST(NetworkProtocolTest, RoutesReceivedMessagesToVisitorsInRegistrationOrder) {
    LoopbackTextTransport transport;
    NetworkProtocol protocol(&transport);
    std::vector<std::string> log;
    RecordingVisitor first(log, "first");
    RecordingVisitor second(log, "second");
    protocol.RegisterVisitor(&first);
    protocol.RegisterVisitor(&second);
    protocol.RegisterVisitor(&first);

    MouseMoveNetMsg message({5, 7});
    protocol.Send(message);
    EXPECT_EQ(log, (std::vector<std::string>{"first:5,7", "second:5,7", "first:5,7"}));
    std::size_t const length = message.ToString().size();
    EXPECT_EQ(protocol.GetSendFps().GetTotal(), static_cast<int64_t>(length));
    EXPECT_EQ(protocol.GetReceiveFps().GetTotal(), static_cast<int64_t>(length));

    log.clear();
    protocol.UnregisterVisitor(&first);
    protocol.Send(MouseMoveNetMsg({1, 1}));
    EXPECT_EQ(log, (std::vector<std::string>{"second:1,1", "first:1,1"}));

    protocol.UnregisterVisitor(&first);
    EXPECT_EQ(ErrorText<SkypeError>([&] { protocol.UnregisterVisitor(&first); }),
              "Trying to remove network visitor that wasn't added yet");
}

TEST(NetworkProtocolTest, ReceivingErrorsTravelToTheDeliveringThread) {
    LoopbackTextTransport transport;
    NetworkProtocol protocol(&transport);
    std::vector<std::string> log;
    RecordingVisitor failing(log, "failing");
    RecordingVisitor later(log, "later");
    failing.fail = true;
    protocol.RegisterVisitor(&failing);
    protocol.RegisterVisitor(&later);

    EXPECT_THROW(protocol.Send(MouseMoveNetMsg({3, 4})), std::runtime_error);
    EXPECT_EQ(log, std::vector<std::string>{"failing:3,4"});

    // Empty texts are ignored; malformed ones and unknown ids raise.
    transport.Deliver("");
    EXPECT_EQ(protocol.GetReceiveFps().GetTotal(),
              static_cast<int64_t>(MouseMoveNetMsg({3, 4}).ToString().size()));
    EXPECT_EQ(ErrorText<NetworkMessageFormatError>([&] { transport.Deliver("16,3,5:7"); }),
              "Message does not start with checksum");
    std::string unknown = NetworkMessage::ToString(42, "x");
    EXPECT_EQ(ErrorText<NetworkMessageFormatError>([&] { transport.Deliver(unknown.c_str()); }),
              "Network message id not registered");
}

TEST(NetworkProtocolTest, DetachedTransportNoLongerReachesTheEndpoint) {
    LoopbackTextTransport first;
    LoopbackTextTransport second;
    NetworkProtocol protocol(&first);
    std::vector<std::string> log;
    RecordingVisitor visitor(log, "v");
    protocol.RegisterVisitor(&visitor);
    protocol.SetTransport(&second);
    first.Send(MouseMoveNetMsg({9, 9}).ToString());
    EXPECT_TRUE(log.empty());
    protocol.Send(MouseMoveNetMsg({2, 2}));
    EXPECT_EQ(log, std::vector<std::string>{"v:2,2"});

    protocol.SetTransport(nullptr);
    EXPECT_EQ(ErrorText<NetworkError>([&] {
                  protocol.Send(MouseMoveNetMsg({1, 2}));
              }),
              "Network transport not set");
    EXPECT_EQ(protocol.GetSendFps().GetTotal(),
              static_cast<int64_t>(MouseMoveNetMsg({2, 2}).ToString().size()));
}

// Visitors that change the visitor list while a message is routed, as every state change
// does: routing goes on over the visitors registered when the message arrived, minus the ones
// unregistered meanwhile; a visitor registered meanwhile first sees the next message.
struct ChangingVisitor : NetworkVisitor {
    ChangingVisitor(std::vector<std::string>& log, std::string name) : log(log), name(std::move(name)) {}
    void Handle(MouseMoveNetMsg const&) override {
        log.push_back(name);
        if (action) {
            action();
        }
    }
    std::vector<std::string>& log;
    std::string name;
    std::function<void()> action;
};

TEST(NetworkProtocolTest, VisitorsMayChangeTheVisitorListWhileAMessageIsRouted) {
    LoopbackTextTransport transport;
    NetworkProtocol protocol(&transport);
    std::vector<std::string> log;
    ChangingVisitor first(log, "first"), second(log, "second"), third(log, "third"),
        successor(log, "successor");
    first.action = [&] {
        protocol.UnregisterVisitor(&first);
        protocol.RegisterVisitor(&successor);
    };
    second.action = [&] { protocol.UnregisterVisitor(&third); };
    protocol.RegisterVisitor(&first);
    protocol.RegisterVisitor(&second);
    protocol.RegisterVisitor(&third);

    protocol.Send(MouseMoveNetMsg({1, 1}));
    EXPECT_EQ(log, (std::vector<std::string>{"first", "second"}));
    log.clear();
    second.action = nullptr;
    protocol.Send(MouseMoveNetMsg({2, 2}));
    EXPECT_EQ(log, (std::vector<std::string>{"second", "successor"}));
}

// A visitor may end the whole channel from inside its Handle: the endpoint and the transport
// whose received text it is handling.
TEST(NetworkProtocolTest, AVisitorMayDeleteTheEndpointAndTheTransportThatCalledIt) {
    DumpFolder dump;
    auto transport = std::make_unique<LoopbackChunkTransport>();
    auto protocol = std::make_unique<NetworkProtocol>(transport.get());
    protocol->EnableDump(dump.Name());
    std::vector<std::string> log;
    ChangingVisitor closer(log, "closer"), later(log, "later");
    closer.action = [&] {
        protocol.reset();
        transport.reset();
    };
    protocol->RegisterVisitor(&closer);
    protocol->RegisterVisitor(&later);
    LoopbackChunkTransport* receiver = transport.get();
    std::string frame = NetworkMessage::ToString(99, "1:1:1:" + MouseMoveNetMsg({1, 2}).ToString());
    receiver->Receive(frame.c_str());
    EXPECT_EQ(log, std::vector<std::string>{"closer"});
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
    EXPECT_EQ(protocol.GetSendFps().GetTotal(),
              static_cast<int64_t>(4) * kPerThread * message.ToString().size());
}

// Both directions are dumped: the message (.msg) and each chunk frame (.pkt), named by the
// sequence; a frame that cannot be read is dumped as bad.
TEST(NetworkProtocolTest, DumpsSentAndReceivedMessagesAndChunks) {
    DumpFolder folder;
    LoopbackChunkTransport transport;
    NetworkProtocol protocol(&transport);
    protocol.EnableDump(folder.Name());
    MouseMoveNetMsg message({5, 7});
    protocol.Send(message);

    std::string const chunk = NetworkMessage::ToString(99, "1:1:1:" + message.ToString());
    for (std::string direction : {"sent", "recv"}) {
        std::string const path = folder.Root() + direction + "\\";
        std::vector<std::string> names = FilesIn(path);
        ASSERT_EQ(names.size(), 2u);
        for (std::string const& name : names) {
            SCOPED_TRACE(name);
            EXPECT_NE(name.find("_1."), std::string::npos);
            std::string const text = direction == "sent" ? message.ToString() : "5:7";
            EXPECT_EQ(ReadWholeFile(path + name), name.find(".msg") != std::string::npos ? text : chunk);
        }
    }
    EXPECT_THROW(transport.Receive("not a frame"), NetworkMessageFormatError);
    std::vector<std::string> received = FilesIn(folder.Root() + "recv\\");
    auto bad = std::find_if(received.begin(), received.end(), [](std::string const& name) {
        return name.find("_-1_bad.pkt") != std::string::npos;
    });
    ASSERT_NE(bad, received.end());
    EXPECT_EQ(ReadWholeFile(folder.Root() + "recv\\" + *bad), "not a frame");

    // Detaching takes the dumper away from the transport.
    protocol.SetTransport(nullptr);
    transport.Send(message.ToString());
    EXPECT_EQ(FilesIn(folder.Root() + "sent\\").size(), 2u);
}

}  // namespace
