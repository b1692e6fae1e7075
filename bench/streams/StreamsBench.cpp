// SkypeApplication::Write on one side to OnDataReceived on the other, through the messenger
// simulator at an unlimited rate, against the simulator's raw WRITE/READ path driven directly
// in the same run, for 1 KB and 64 KB texts.
#include <windows.h>

#include <cstdio>
#include <string>

#include "BenchReport.h"
#include "Countdown.h"
#include "SimulatedPeers.h"
#include "skype/SkypeApplication.h"
#include "skypesim/RawStreamPair.h"

namespace {

constexpr unsigned kWaitMs = 20000;

// Counts the texts an application receives.
class ReceiveCounter : public Countdown {
public:
    explicit ReceiveCounter(SkypeApplication& application) : mApplication(application) {
        mApplication.OnDataReceived.Add(MakeDelegate<&ReceiveCounter::OnData>(this));
    }
    ~ReceiveCounter() { mApplication.OnDataReceived.Remove(MakeDelegate<&ReceiveCounter::OnData>(this)); }

private:
    void OnData(std::string const&, char const*) { Arrive(); }
    SkypeApplication& mApplication;
};

}  // namespace

int main() {
    SimulatedPeers peers({"alice", "bob", "carol", "dave"});
    if (!peers.Attach("alice") || !peers.Attach("bob")) {
        std::fprintf(stderr, "the clients did not attach\n");
        return 1;
    }
    SkypeApplication writer(&peers.Client("alice"), "bench");
    SkypeApplication reader(&peers.Client("bob"), "bench");
    ReceiveCounter counter(reader);
    bool const connected = SimulatedPeers::Connect(writer, "alice", reader, "bob");
    skypesim::RawStreamPair raw(peers.Account("carol"), peers.Account("dave"), "rawbench");
    if (!connected || !raw.IsReady()) {
        std::fprintf(stderr, "the streams did not open\n");
        return 1;
    }

    struct Size {
        char const* name;
        std::size_t bytes;
        int packets;
    } const sizes[] = {{"1KB", 1024, 1000}, {"64KB", 65536, 200}};
    for (Size const& size : sizes) {
        std::string const text(size.bytes, 'b');
        bool ok = true;
        BenchTimes times = CompareBest(
            3,
            [&] {
                counter.Expect(size.packets);
                for (int i = 0; i < size.packets; ++i) {
                    writer.Write("bob", text);
                }
                ok = ok && counter.Wait(kWaitMs);
            },
            [&] { ok = ok && raw.WriteAndRead(text, size.packets) >= 0; });
        if (!ok) {
            std::fprintf(stderr, "texts went missing\n");
            return 1;
        }
        PrintMeasurement(std::string("SkypeApplicationWrite/") + size.name,
                         static_cast<double>(size.bytes) * size.packets, times.subject,
                         "simulator raw WRITE/READ", times.baseline);
    }
    return 0;
}
