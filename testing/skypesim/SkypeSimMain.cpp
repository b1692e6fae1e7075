// skypesim.exe: a simulated messenger network in a process of its own, for hosts in other
// processes, optionally linked to the simulator of another machine. See README.md for the
// command line.
#include <winsock2.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "skypesim/LinkSocket.h"
#include "skypesim/SimCommandLine.h"
#include "skypesim/SimConsole.h"
#include "skypesim/SkypeSimulator.h"

namespace {
constexpr unsigned kLinkTimeoutMs = 10000;

// Listens and links as the options ask; false (with the reason printed) when that failed.
bool SetUpLink(skypesim::SimOptions const& options, skypesim::SkypeSimulator& simulator,
               skypesim::SimConsole& console) {
    simulator.SetLinkLatency(options.latencyMs);
    if (options.listenPort >= 0) {
        unsigned short port = simulator.Listen(static_cast<unsigned short>(options.listenPort));
        if (port == 0) {
            return false;
        }
        console.Say("listening on port " + std::to_string(port));
    }
    std::string host;
    unsigned short port = 0;
    return options.linkAddress.empty() || (skypesim::SplitAddress(options.linkAddress, host, port) &&
                                           simulator.LinkTo(host, port, kLinkTimeoutMs));
}
}  // namespace

int main(int argc, char** argv) {
    std::string error;
    std::optional<skypesim::SimOptions> options =
        skypesim::SimCommandLine::Parse(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "skypesim: %s\n%s", error.c_str(), skypesim::SimCommandLine::Usage());
        return 2;
    }
    _setmode(_fileno(stdout), _O_BINARY);  // one "ready\n" line whatever reads it
    std::vector<HANDLE> ends;
    if (!options->quitEvent.empty()) {
        ends.push_back(CreateEventA(nullptr, TRUE, FALSE, options->quitEvent.c_str()));
    }
    HANDLE inputClosed = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    skypesim::SkypeSimulator simulator;
    skypesim::SimConsole console(simulator, inputClosed);
    try {
        for (skypesim::AccountConfig const& account : options->accounts) {
            simulator.AddAccount(account);
        }
    } catch (std::exception const& failure) {
        std::fprintf(stderr, "skypesim: %s\n", failure.what());
        return 2;
    }
    if (!SetUpLink(*options, simulator, console)) {
        Sleep(500);  // lets the link's failure be printed
        return 3;
    }
    console.Say("ready");
    if (options->watchStdin) {
        console.WatchInput();
        ends.push_back(inputClosed);
    }
    if (ends.empty()) {
        Sleep(INFINITE);
    }
    WaitForMultipleObjects(static_cast<DWORD>(ends.size()), ends.data(), FALSE, INFINITE);
    return 0;
}
