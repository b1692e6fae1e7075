#pragma once

#include <atomic>
#include <string>

#include "foundation/Event.h"
#include "foundation/SyncEvent.h"

// Command ids: "#" + a process-wide counter in lower-case hex + " " ("#0 ", ... "#a ", ...).
class SkypeCommandId {
public:
    SkypeCommandId() = delete;

    // The next id. When OnGenerate has handlers they make it instead: they get an empty string
    // and what they leave in it is the id (the counter is then untouched). Any thread.
    static std::string GetNext();

    static std::atomic<int> mId;            // the counter: taken and incremented per id
    static Event<std::string&> OnGenerate;  // the object lives in Core.cpp
};

// One command to the messenger with its reply. The client that sends it fills in the reply on
// its window thread and signals the sender, who waits in ISkypeClient::Send(SkypeCommand&).
class SkypeCommand {
public:
    // Takes a fresh id; the text sent is the id followed by `command`.
    SkypeCommand(std::string const& command, unsigned timeout);
    SkypeCommand(SkypeCommand const&) = delete;
    SkypeCommand& operator=(SkypeCommand const&) = delete;

    std::string const& GetId() const { return mId; }
    std::string const& GetText() const { return mText; }
    // The reply without its id; empty until it arrived.
    std::string const& GetReply() const { return mReply; }
    unsigned GetTimeout() const { return mTimeout; }

    // Stores the reply and wakes the waiting sender. Called once, by the client.
    void SetReply(std::string const& reply);
    // Waits up to the time-out for SetReply; true when it came. Gives up at once when `stop`
    // is set, leaving it set for other waiters.
    bool WaitForReply(SyncEvent& stop) const;

private:
    std::string mId;
    std::string mText;
    std::string mReply;
    unsigned mTimeout;  // ms
    SyncEvent mReplyEvent;
};
