// corvane_peer.exe: one person's plug-in on one machine, driven by commands. It plays the
// user-interface module: it runs a messenger client of Core.dll, takes one command a line from
// standard input or a script file, and prints one line per event it sees. "help" lists the
// commands. The library's log goes to corvane_peer.exe.log beside it.
//
//   corvane_peer [--discover NAME] [--attach NAME] [--script FILE] [--sessions]
//
// With --sessions a session manager runs the plug-in's sessions with a scripted user.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "Core.h"
#include "PeerCommands.h"
#include "PeerDesktop.h"
#include "PeerHost.h"
#include "PeerOutput.h"
#include "PeerSessions.h"

namespace {
struct PeerOptions {
    std::string discover = "SkypeControlAPIDiscover";
    std::string attach = "SkypeControlAPIAttach";
    std::string script;
    bool sessions = false;
};

bool ReadOptions(int argc, char** argv, PeerOptions& options) {
    int i = 1;
    for (; i < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--sessions") {
            options.sessions = true;
            --i;
            continue;
        }
        if (i + 1 >= argc) {
            return false;
        }
        std::string value = argv[i + 1];
        if (option == "--discover") {
            options.discover = value;
        } else if (option == "--attach") {
            options.attach = value;
        } else if (option == "--script") {
            options.script = value;
        } else {
            return false;
        }
    }
    return true;
}

void RunCommands(std::istream& input, PeerCommands& commands) {
    for (std::string line; std::getline(input, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!commands.Run(line)) {
            return;
        }
    }
}
}  // namespace

int main(int argc, char** argv) {
    PeerOptions options;
    if (!ReadOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: corvane_peer [--discover NAME] [--attach NAME] [--script FILE] [--sessions]\n");
        return 2;
    }
    CorvaneLogging::SetLoggingEnabled(true);
    CorvaneLogging::SetLoggingOutput(CorvaneLogging::LogFile);
    PeerOutput output;
    try {
        PeerDesktop desktop;
        PeerHost host(output, options.discover, options.attach, !options.sessions);
        std::unique_ptr<PeerSessions> sessions;
        if (options.sessions) {
            sessions = std::make_unique<PeerSessions>(host.Client(), output);
        }
        PeerCommands commands(host, desktop, output, sessions.get());
        if (options.script.empty()) {
            RunCommands(std::cin, commands);
        } else {
            std::ifstream script(options.script);
            if (!script) {
                output.Error("cannot read the script " + options.script);
                return 1;
            }
            RunCommands(script, commands);
        }
    } catch (std::exception const& error) {
        output.Error(error.what());
        return 1;
    }
    return 0;
}
