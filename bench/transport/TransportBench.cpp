// Whole messages from NetworkProtocol::Send on one side to the visitor on the other, through
// the chunked transport, the application and the messenger simulator at an unlimited rate,
// against the simulator's raw WRITE/READ path driven directly in the same run with the texts
// the transport writes (chunks of at most 65000 characters).
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "BenchReport.h"
#include "SimulatedPeers.h"
#include "foundation/SyncEvent.h"
#include "network/ControlMessages.h"
#include "network/NetworkProtocol.h"
#include "network/SkypeReliableNetworkTransport.h"
#include "skype/SkypeApplication.h"
#include "skypesim/RawStreamPair.h"

namespace {

constexpr unsigned kWaitMs = 30000;

// Counts the connection-test messages an endpoint routes and signals at the expected number.
class MessageCounter : public NetworkVisitor {
public:
    void Expect(int count) {
        mReceived = 0;
        mExpected = count;
    }
    bool Wait() { return mDone.Wait(kWaitMs) == WAIT_OBJECT_0; }
    void Handle(TestConnectNetMsg const&) override {
        if (++mReceived == mExpected) {
            mDone.Set();
        }
    }

private:
    std::atomic<int> mReceived{0};
    std::atomic<int> mExpected{0};
    SyncEvent mDone;
};

// The chunk frames that carry one message text of `length` characters.
std::vector<std::string> ChunkTexts(std::size_t length) {
    std::vector<std::string> chunks;
    std::size_t const count = (length + 64999) / 65000;
    for (std::size_t part = 1; part <= count; ++part) {
        std::size_t piece = std::min<std::size_t>(65000, length - (part - 1) * 65000);
        chunks.push_back(NetworkMessage::ToString(
            99, "1:" + std::to_string(part) + ":" + std::to_string(count) + ":" + std::string(piece, 'm')));
    }
    return chunks;
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
        std::vector<std::string> const chunks = ChunkTexts(message.ToString().size());
        bool ok = true;
        BenchTimes times = CompareBest(
            5,
            [&] {
                counter.Expect(size.messages);
                for (int i = 0; i < size.messages; ++i) {
                    sender.Send(message);
                }
                ok = ok && counter.Wait();
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
