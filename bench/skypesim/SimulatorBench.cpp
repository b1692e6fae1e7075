// Raw WRITE/READ through the messenger simulator, one stream at an unlimited rate, driven by
// two RawClients: the ceiling any transport over the simulator can reach. The baseline is one
// bare WM_COPYDATA hop of the same text to another thread's window.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "WorkerThread.h"
#include "skypesim/RawStreamPair.h"
#include "skypesim/SimWindows.h"
#include "skypesim/SkypeSimulator.h"

using namespace skypesim;

namespace {
using Clock = std::chrono::steady_clock;
constexpr unsigned kWait = 10000;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

LRESULT CALLBACK CopyingWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        return CopyDataText(lParam, kMaxTextBytes).has_value();
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Sends the text `packets` times to a window of another thread that copies it out.
double BareHops(std::string const& text, int packets) {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HWND target = nullptr;
    WorkerThread owner([&] {
        target = CreateHiddenWindow(L"CorvaneSkypeSimBenchTarget", &CopyingWindow, nullptr);
        SetEvent(ready);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            DispatchMessageW(&message);
        }
    });
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
    HWND from = CreateHiddenWindow(L"CorvaneSkypeSimBenchSource", &CopyingWindow, nullptr);
    Clock::time_point start = Clock::now();
    for (int i = 0; i < packets; ++i) {
        SendText(from, target, text, kWait);
    }
    double seconds = Seconds(start);
    PostMessageW(target, WM_CLOSE, 0, 0);
    owner.Join();
    DestroyWindow(from);
    return seconds;
}

AccountConfig Account(char const* handle) {
    AccountConfig config;
    config.handle = handle;
    config.fullName = handle;
    std::wstring base = L"CorvaneSkypeSimBench." + std::to_wstring(GetCurrentProcessId()) + L"." +
                        std::wstring(handle, handle + strlen(handle));
    config.discoverMessage = base + L".Discover";
    config.attachMessage = base + L".Attach";
    return config;
}
}  // namespace

int main() {
    SkypeSimulator sim;
    AccountConfig aliceConfig = Account("alice");
    AccountConfig bobConfig = Account("bob");
    sim.AddAccount(aliceConfig);
    sim.AddAccount(bobConfig);
    RawStreamPair stream(aliceConfig, bobConfig, "bench");
    if (!stream.IsReady()) {
        std::fprintf(stderr, "the simulator did not set up the stream\n");
        return 1;
    }

    struct Size {
        char const* name;
        std::size_t bytes;
        int packets;
    } const sizes[] = {{"1KB", 1024, 5000}, {"64KB", 65536, 600}};
    for (Size const& size : sizes) {
        std::string text(size.bytes, 'b');
        stream.WriteAndRead(text, size.packets / 10);  // warm-up
        double seconds = stream.WriteAndRead(text, size.packets);
        double baseline = BareHops(text, size.packets);
        double bytes = static_cast<double>(size.bytes) * size.packets;
        std::printf(
            "{\"name\": \"SimulatorRawWriteRead/%s\", \"bytes\": %.0f, \"seconds\": %.4f, \"rate\": %.4g, "
            "\"baseline\": \"one bare WM_COPYDATA hop to another thread\", \"baseline_rate\": %.4g, "
            "\"ratio\": %.4g, \"packets_per_second\": %.0f}\n",
            size.name, bytes, seconds, bytes / seconds, bytes / baseline, baseline / seconds,
            size.packets / seconds);
        std::fflush(stdout);
    }
    return 0;
}
