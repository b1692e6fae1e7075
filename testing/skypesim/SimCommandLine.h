#pragma once

#include <optional>
#include <string>
#include <vector>

#include "skypesim/SimAccount.h"

namespace skypesim {

// What skypesim.exe is asked to run.
struct SimOptions {
    std::vector<AccountConfig> accounts;
    std::string quitEvent;    // a named event that ends the program when set; empty: none
    bool watchStdin = true;   // the program ends when a pipe on its standard input closes
    int listenPort = -1;      // listen for a linked simulator on this port (0: any); -1: do not
    std::string linkAddress;  // "HOST:PORT" of a listening simulator to link to; empty: none
    unsigned latencyMs = 0;   // one-way latency of what this side sends on the link
};

// The command line of skypesim.exe: account options follow the --account they belong to.
class SimCommandLine {
public:
    // Reads the arguments after the program name; nothing, with `error` set, when they are wrong.
    static std::optional<SimOptions> Parse(std::vector<std::string> const& arguments, std::string& error);
    static char const* Usage();
};

}  // namespace skypesim
