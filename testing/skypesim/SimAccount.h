#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "skypesim/SimFaults.h"
#include "skypesim/WaitableTexts.h"

namespace skypesim {

using Clock = std::chrono::steady_clock;

// Attach statuses the messenger reports with the attach message.
enum AttachStatus {
    AttachSuccess = 0,
    AttachPending = 1,
    AttachRefused = 2,
    AttachNotAvailable = 3,
    AttachApiAvailable = 0x8001
};

// One attach message sent in answer to a discover, `delayMs` after the previous step.
struct AttachStep {
    int status = AttachSuccess;
    unsigned delayMs = 0;
};

// How an account looks when it is added to the network.
struct AccountConfig {
    std::string handle;
    std::string fullName;
    std::string onlineStatus = "ONLINE";
    std::vector<std::string> friends;  // made mutual
    std::string avatar;                // bytes of an image file; empty: no picture
    std::wstring discoverMessage = L"SkypeControlAPIDiscover";
    std::wstring attachMessage = L"SkypeControlAPIAttach";
    unsigned rate = 0;  // send-buffer drain rate in bytes per second; 0 = unlimited
    // The drain rate of the streams to these contacts, apart from `rate` (a slow viewer).
    std::map<std::string, unsigned> rateTo;
    bool running = true;  // its messenger runs (has a window) from the start
    std::vector<AttachStep> attachScript{AttachStep()};
};

struct AccountCounters {
    std::uint64_t commands = 0;
    std::uint64_t bytesWritten = 0;  // accepted by WRITE
    std::uint64_t packetsWritten = 0;
    std::uint64_t bytesRead = 0;  // handed out by READ
    std::uint64_t packetsRead = 0;
    std::uint64_t datagrams = 0;  // sent
};

// One side of an application stream.
struct StreamEnd {
    int id = 0;
    std::string peer;                    // the other account's handle
    int peerId = 0;                      // the stream's id on the other side
    std::deque<std::string> sendBuffer;  // packets not yet drained; the front may be partly drained
    std::size_t frontDrained = 0;
    std::size_t pendingBytes = 0;
    std::deque<std::string> unread;  // delivered packets waiting for READ
    std::size_t unreadBytes = 0;
    std::size_t peerUnread = 0;  // bytes sent over the link that the other machine has not read

    std::string Designator() const { return peer + ":" + std::to_string(id); }
};

struct SimApplication {
    std::map<int, StreamEnd> streams;  // by stream id
    std::string lastSending;           // the last SENDING list reported to the clients
    std::string lastSendingStreams;    // the streams that list named, without their counts
    Clock::time_point lastSendingTime;
};

struct SimAccount {
    explicit SimAccount(AccountConfig const& config)
        : config(config), commandLog(std::make_shared<WaitableTexts>()) {}

    AccountConfig config;
    // Lives on the linked machine: known from that simulator's messages, with no window or
    // applications here; its streams are this machine's ends.
    bool remote = false;
    bool running = false;
    bool loggedIn = true;
    HWND window = nullptr;  // the messenger's window while it runs; owned by the simulator thread
    UINT discoverMessage = 0;
    UINT attachMessage = 0;
    std::set<HWND> clients;  // windows that sent commands: they get the notifications
    std::map<std::string, SimApplication> applications;
    int nextStreamId = 1;
    double sendCredit = 0;                   // bytes the rate allows to drain now
    std::map<std::string, double> creditTo;  // the same for each contact of config.rateTo
    Clock::time_point lastDrain;
    SimFaults faults;
    AccountCounters counters;
    std::shared_ptr<WaitableTexts> commandLog;  // read by test threads
};

}  // namespace skypesim
