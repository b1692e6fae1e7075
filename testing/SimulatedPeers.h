#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "skype/SkypeApplication.h"
#include "skype/SkypeClient.h"
#include "skypesim/SkypeSimulator.h"

// A simulated messenger network whose accounts are all friends, and a messenger client of the
// library for each account that is to be attached. Message names are unique to this object, so
// several can live side by side (also in other processes).
class SimulatedPeers {
public:
    // Accounts named `handles`, draining their send buffers at `rate` bytes per second (0: at once).
    explicit SimulatedPeers(std::vector<std::string> const& handles, unsigned rate = 0);
    ~SimulatedPeers();
    SimulatedPeers(SimulatedPeers const&) = delete;
    SimulatedPeers& operator=(SimulatedPeers const&) = delete;

    skypesim::SkypeSimulator& Simulator() { return *mSimulator; }
    skypesim::AccountConfig const& Account(std::string const& handle) const { return mAccounts.at(handle); }

    // Makes a client for `handle`, not yet attached, so that its users can subscribe first.
    SkypeClient& NewClient(std::string const& handle);
    // Attaches the client of `handle`, made first if there is none; false when it did not
    // attach in time.
    bool Attach(std::string const& handle, unsigned timeoutMs = 10000);
    SkypeClient& Client(std::string const& handle) { return *mClients.at(handle); }

    // Connects `caller` (the application of the account `callerHandle`) to the account
    // `calleeHandle`, whose application is `callee`, and waits until both see the stream.
    static bool Connect(SkypeApplication& caller, std::string const& callerHandle, SkypeApplication& callee,
                        std::string const& calleeHandle, unsigned timeoutMs = 10000);

private:
    std::unique_ptr<skypesim::SkypeSimulator> mSimulator;
    std::map<std::string, skypesim::AccountConfig> mAccounts;
    std::map<std::string, std::unique_ptr<SkypeClient>> mClients;
};
