// skypesim.exe: a simulated messenger network in a process of its own, for hosts in other
// processes. See README.md for the command line.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "skypesim/SimCommandLine.h"
#include "skypesim/SkypeSimulator.h"

namespace {
DWORD WINAPI WatchInput(void* closed) {
    char buffer[256];
    DWORD read = 0;
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    while (ReadFile(input, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    }
    SetEvent(closed);
    return 0;
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
    std::vector<HANDLE> ends;
    if (!options->quitEvent.empty()) {
        ends.push_back(CreateEventA(nullptr, TRUE, FALSE, options->quitEvent.c_str()));
    }
    // Only a pipe ties the program to its parent: a null device or a console would end it at once
    // or never.
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (options->watchStdin && input && input != INVALID_HANDLE_VALUE &&
        GetFileType(input) == FILE_TYPE_PIPE) {
        ends.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        CloseHandle(CreateThread(nullptr, 0, &WatchInput, ends.back(), 0, nullptr));
    }

    skypesim::SkypeSimulator simulator;
    try {
        for (skypesim::AccountConfig const& account : options->accounts) {
            simulator.AddAccount(account);
        }
    } catch (std::exception const& failure) {
        std::fprintf(stderr, "skypesim: %s\n", failure.what());
        return 2;
    }
    _setmode(_fileno(stdout), _O_BINARY);  // one "ready\n" line whatever reads it
    std::printf("ready\n");
    std::fflush(stdout);
    if (ends.empty()) {
        Sleep(INFINITE);
    }
    WaitForMultipleObjects(static_cast<DWORD>(ends.size()), ends.data(), FALSE, INFINITE);
    return 0;
}
