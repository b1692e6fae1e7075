#pragma once

#include <functional>
#include <map>
#include <string>

#include "PeerDesktop.h"
#include "PeerHost.h"
#include "PeerOutput.h"

// The peer host's command language: one command a line, a word and its arguments. Every
// command answers with lines of its own or with "error: ..."; an unknown command, or one whose
// part of the plug-in is not built yet, says so instead of pretending.
class PeerCommands {
public:
    // Not owned; they must outlive the commands.
    PeerCommands(PeerHost& host, PeerDesktop& desktop, PeerOutput& output);

    // Carries out one line (blank lines and "#" comments do nothing); false after "quit".
    bool Run(std::string const& line);

private:
    using Handler = std::function<void(std::string const& arguments)>;
    struct Command {
        std::string usage;
        std::string help;
        Handler run;  // empty: planned, not available yet
    };

    void Add(std::string const& name, std::string const& usage, std::string const& help, Handler run);
    void AddMessengerCommands();
    void AddMessageCommands();
    void AddDesktopCommands();
    // Session commands: they arrive with the sessions.
    void AddPlannedCommands();
    void Help();

    PeerHost& mHost;
    PeerDesktop& mDesktop;
    PeerOutput& mOutput;
    std::map<std::string, Command> mCommands;
};
