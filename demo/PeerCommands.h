#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "PeerDesktop.h"
#include "PeerHost.h"
#include "PeerOutput.h"
#include "PeerSessions.h"
#include "PeerSharing.h"

// The peer host's command language: one command a line, a word and its arguments. Every
// command answers with lines of its own or with "error: ..."; an unknown command, or one whose
// part of the plug-in is not built yet, says so instead of pretending.
class PeerCommands {
public:
    // Not owned; they must outlive the commands. `sessions` is null when the host runs
    // without sessions.
    PeerCommands(PeerHost& host, PeerDesktop& desktop, PeerOutput& output, PeerSessions* sessions);

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
    void AddSessionCommands();
    void AddSharingCommands();
    // Commands of parts not built yet.
    void AddPlannedCommands();
    // The viewer's picture, mouse and clipboard (they replace planned ones).
    void AddViewCommands();
    PeerSessions& Sessions();
    void Help();

    PeerHost& mHost;
    PeerDesktop& mDesktop;
    PeerOutput& mOutput;
    PeerSessions* mSessions;                // not owned; may be null
    std::unique_ptr<PeerSharing> mSharing;  // with sessions only
    std::map<std::string, Command> mCommands;
};
