// The demo host: plays the user-interface module of two people. It starts a simulated messenger
// network with the accounts alice and bob in a process of its own (skypesim.exe), attaches a
// messenger client of Core.dll to each, opens the control and screen applications between them,
// and sends protocol messages and a screen-sized payload from one side to the other through the
// chunked transports and endpoints. It prints what happened; the library's log goes to
// corvane_demo.exe.log beside it.

#include <windows.h>

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "Core.h"
#include "DemoPeer.h"
#include "skypesim/SimulatorProcess.h"

namespace {

constexpr DWORD kWaitMs = 10000;

std::string MessageName(char const* kind, char const* user) {
    return std::string("CorvaneDemo") + kind + "." + user + "." + std::to_string(GetCurrentProcessId());
}

std::string Account(char const* user, char const* fullName, char const* more) {
    return std::string(" --account ") + user + " \"" + fullName + "\" --discover " + MessageName("Discover", user) +
           " --attach " + MessageName("Attach", user) + more;
}

// A desktop-like picture, 24 bits per pixel: a gradient with windows of text-like strokes.
std::vector<unsigned char> ScreenLikePixels(int width, int height) {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
    unsigned seed = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned char* p = &pixels[(static_cast<std::size_t>(y) * width + x) * 3];
            bool window = (x / 320 + y / 256) % 3 == 1;
            seed = seed * 1103515245 + 12345;
            bool stroke = window && (y % 16) < 10 && ((seed >> 16) & 7) == 0;
            p[0] = window ? (stroke ? 0 : 240) : static_cast<unsigned char>(x * 255 / width);
            p[1] = window ? (stroke ? 0 : 240) : static_cast<unsigned char>(y * 255 / height);
            p[2] = window ? (stroke ? 0 : 240) : 128;
        }
    }
    return pixels;
}

void Say(std::string const& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

std::string Format(char const* format, double value) {
    char text[64];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}

void Run() {
    skypesim::SimulatorProcess simulator(Account("alice", "Alice Example", " --friends bob") +
                                         Account("bob", "Bob Example", ""));
    if (!simulator.WaitForOutput("ready\n", kWaitMs)) {
        throw std::runtime_error("the simulator did not get ready: " + simulator.Output());
    }
    Say("simulator: skypesim.exe runs the accounts alice and bob");

    DemoPeer alice(MessageName("Discover", "alice"), MessageName("Attach", "alice"));
    DemoPeer bob(MessageName("Discover", "bob"), MessageName("Attach", "bob"));
    Timer timer(true);
    if (!alice.Attach(kWaitMs) || !bob.Attach(kWaitMs)) {
        throw std::runtime_error("the clients did not attach");
    }
    Say("attach: two clients attached as " + alice.GetUser() + " and " + bob.GetUser() + " in " +
        std::to_string(timer.GetTimeInMs()) + " ms");

    timer.StartTimer();
    alice.OpenApplications("bob");
    bob.OpenApplications("alice");
    alice.Connect();
    if (!alice.WaitConnected(kWaitMs) || !bob.WaitConnected(kWaitMs)) {
        throw std::runtime_error("the streams did not open");
    }
    Say("streams: \"corvane\" and \"corvane.screen\" open between alice and bob in " +
        std::to_string(timer.GetTimeInMs()) + " ms");

    DiscoveryInfo aliceInfo{"ALICE-PC", "Alice Example"};
    alice.Control().Send(DiscoveryNetMsg(false, &aliceInfo));
    bob.Control().Send(DiscoveryNetMsg(true));
    Say("bob received   " + bob.WaitMessage(kWaitMs));
    Say("alice received " + alice.WaitMessage(kWaitMs));

    timer.StartTimer();
    alice.Control().Send(TestConnectNetMsg("ping from alice", false));
    Say("bob received   " + bob.WaitMessage(kWaitMs));
    Say("alice received " + alice.WaitMessage(kWaitMs) + " (round trip " + std::to_string(timer.GetTimeInMs()) +
        " ms)");

    std::vector<unsigned char> screen = ScreenLikePixels(1280, 1024);
    ClipboardNetMsg payload(screen);
    timer.StartTimer();
    alice.Screen().Send(payload);
    std::string line = bob.WaitMessage(kWaitMs * 3);
    double seconds = timer.GetTimeInSec();
    bool intact = bob.TakePayload() == screen;
    std::size_t frame = payload.ToString().size();
    Say("bob received   " + line + (intact ? ", intact" : ", DAMAGED") + ": a 1280x1024 24-bit screen (" +
        std::to_string(screen.size()) + " bytes) sent as " + std::to_string(frame) + " characters in " +
        std::to_string((frame + 64999) / 65000) + " chunk(s), " + std::to_string(static_cast<int>(seconds * 1000)) +
        " ms, " + Format("%.1f", seconds > 0 ? screen.size() / seconds / 1e6 : 0) + " MB/s of screen");

    for (auto* peer : {&alice, &bob}) {
        char const* name = peer == &alice ? "alice" : "bob  ";
        Say(std::string("counters: ") + name + " sent " + std::to_string(peer->Control().GetSendFps().GetTotal() +
                                                                         peer->Screen().GetSendFps().GetTotal()) +
            " characters, received " +
            std::to_string(peer->Control().GetReceiveFps().GetTotal() + peer->Screen().GetReceiveFps().GetTotal()));
    }
    if (!intact) {
        throw std::runtime_error("the payload arrived damaged");
    }
}

}  // namespace

int main() {
    CorvaneLogging::SetLoggingEnabled(true);
    CorvaneLogging::SetLoggingOutput(CorvaneLogging::LogFile);
    try {
        Run();
    } catch (std::exception const& error) {
        Say(std::string("demo failed: ") + error.what());
        return 1;
    }
    Say("log: " + LogFileHandler::GetInstance()->GetPath());
    return 0;
}
