// Whole messages from NetworkProtocol::Send on one side to the visitor on the other, through
// the chunked transport, the application and the messenger simulator at an unlimited rate,
// against the simulator's raw WRITE/READ path driven directly in the same run with the texts
// the transport writes (chunks of at most 65000 characters).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "Countdown.h"
#include "SimulatedPeers.h"
#include "network/ControlMessages.h"
#include "network/NetworkProtocol.h"
#include "network/SkypeReliableNetworkTransport.h"
#include "skype/SkypeApplication.h"
#include "skypesim/RawStreamPair.h"

namespace {

constexpr unsigned kWaitMs = 30000;

// Counts the connection-test messages an endpoint routes.
class MessageCounter : public NetworkVisitor, public Countdown {
public:
    void Handle(TestConnectNetMsg const&) override { Arrive(); }
};

// The chunk frames the transport writes for a message, for the raw baseline to write as they are.
class FrameCollector : public ChunkNetworkTransport {
public:
    std::vector<std::string> frames;

protected:
    void SendChunk(std::string const& frame) override { frames.push_back(frame); }
};

std::vector<std::string> ChunkFrames(NetworkMessage const& message) {
    FrameCollector collector;
    collector.Send(message.ToString());
    return collector.frames;
}

}  // namespace

int main() {
    SimulatedPeers peers({"alice", "bob", "carol", "dave"});
    if (!peers.Attach("alice") || !peers.Attach("bob")) {
        std::fprintf(stderr, "the clients did not attach\n");
        return 1;
    }
    SkypeApplication aliceApp(&peers.Client("alice"), "corvane");
    SkypeApplication bobApp(&peers.Client("bob"), "corvane");
    SkypeReliableNetworkTransport aliceTransport(&aliceApp, "bob");
    SkypeReliableNetworkTransport bobTransport(&bobApp, "alice");
    NetworkProtocol sender(&aliceTransport);
    NetworkProtocol receiver(&bobTransport);
    MessageCounter counter;
    receiver.RegisterVisitor(&counter);
    bool const connected = SimulatedPeers::Connect(aliceApp, "alice", bobApp, "bob");
    skypesim::RawStreamPair raw(peers.Account("carol"), peers.Account("dave"), "rawbench");
    if (!connected || !raw.IsReady()) {
        std::fprintf(stderr, "the streams did not open\n");
        return 1;
    }

    struct Size {
        char const* name;
        std::size_t bytes;
        int messages;
    } const sizes[] = {{"100B", 100, 500}, {"1MB", 1 << 20, 8}};
    for (Size const& size : sizes) {
        TestConnectNetMsg const message(std::string(size.bytes, 'm').c_str(), false);
        std::vector<std::string> const chunks = ChunkFrames(message);
        bool ok = true;
        BenchTimes times = CompareBest(
            5,
            [&] {
                counter.Expect(size.messages);
                for (int i = 0; i < size.messages; ++i) {
                    sender.Send(message);
                }
                ok = ok && counter.Wait(kWaitMs);
            },
            [&] {
                for (std::string const& chunk : chunks) {
                    ok = ok && raw.WriteAndRead(chunk, size.messages) >= 0;
                }
            });
        if (!ok) {
            std::fprintf(stderr, "messages went missing\n");
            return 1;
        }
        PrintMeasurement(std::string("NetworkProtocolSend/") + size.name,
                         static_cast<double>(size.bytes) * size.messages, times.subject,
                         "simulator raw WRITE/READ of the same chunks", times.baseline);
        std::printf("{\"name\": \"NetworkProtocolSend/%s/messages\", \"messages_per_second\": %.1f}\n", size.name,
                    size.messages / times.subject);
    }
    return 0;
}
