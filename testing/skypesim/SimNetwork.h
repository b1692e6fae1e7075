#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "skypesim/CommandInterpreter.h"
#include "skypesim/LinkMessage.h"
#include "skypesim/SimAccount.h"

namespace skypesim {

// A command that cannot be carried out; `what()` is the whole "ERROR <code> <text>" reply.
class CommandError : public std::runtime_error {
public:
    explicit CommandError(std::string const& reply) : std::runtime_error(reply) {}
};

// A message from the linked simulator that breaks the link's rules; `what()` says which.
class LinkError : public std::runtime_error {
public:
    explicit LinkError(std::string const& what) : std::runtime_error(what) {}
};

// A window message the network wants sent: a text as WM_COPYDATA (message 0), or the attach
// message with a status. `delayMs` after the moment it was produced.
struct Outgoing {
    HWND from = nullptr;
    HWND to = nullptr;
    UINT message = 0;
    int status = 0;
    std::string text;
    unsigned delayMs = 0;
};

// The simulated accounts, their applications and streams. Knows no threads and sends nothing
// itself: what it wants sent collects in a list the owner takes and delivers. Used by one
// thread at a time (the simulator's).
class SimNetwork {
public:
    SimNetwork();

    SimAccount& AddAccount(AccountConfig const& config);
    SimAccount& Get(std::string const& handle);  // std::invalid_argument for an unknown handle
    SimAccount* Find(std::string const& handle);
    std::vector<SimAccount*> Accounts();
    void AddFriends(std::string const& a, std::string const& b);
    std::vector<std::string> FriendsOf(std::string const& handle) const;
    // What the account's contacts see: its status word while its messenger runs and is logged in.
    static std::string EffectiveStatus(SimAccount const& account);

    // The account's messenger got its window, or lost it without a word.
    void MessengerStarted(SimAccount& account, HWND window);
    void MessengerStopped(SimAccount& account);
    void LogOut(SimAccount& account);
    void LogIn(SimAccount& account);
    void SetOnlineStatus(SimAccount& account, std::string const& status);
    void Notify(SimAccount& account, std::string const& text);  // to every client of the account

    void HandleDiscover(SimAccount& account, HWND client);
    void HandleCommand(SimAccount& account, HWND client, std::string const& text, Clock::time_point now);
    void ForgetClient(HWND client);

    // Drains send buffers at their rates and reports the send state.
    void Tick(Clock::time_point now);
    bool NeedsTick() const;
    std::vector<Outgoing> TakeOutgoing();

    // The link to the simulator of another machine, whose accounts join this network as
    // remote ones. What the network wants to tell it collects in a list the owner takes and sends.
    // LinkUp greets the other side: HELLO, every local account, READY.
    void LinkUp();
    // Streams to remote accounts close and those accounts go OFFLINE, as when a contact goes.
    void LinkDown();
    // Carries out one well-formed message of the other side; true for its READY. Throws
    // LinkError for a message that breaks the link's rules.
    bool HandleLinkMessage(LinkMessage const& message);
    std::vector<LinkMessage> TakeLinkOutgoing();

    // Application operations for the command interpreter; they throw CommandError.
    void CreateApplication(SimAccount& account, std::string const& name);
    void DeleteApplication(SimAccount& account, std::string const& name);
    std::string StreamList(SimAccount& account, std::string const& name);
    void Connect(SimAccount& account, std::string const& name, std::string const& user);
    void Write(SimAccount& account, std::string const& name, std::string const& designator, std::string text,
               Clock::time_point now);
    // The oldest unread packet of the stream, nothing when there is none.
    std::optional<std::string> Read(SimAccount& account, std::string const& name,
                                    std::string const& designator);
    void Datagram(SimAccount& account, std::string const& name, std::string const& designator,
                  std::string const& text);
    void Disconnect(SimAccount& account, std::string const& name, std::string const& designator);

private:
    SimApplication& Application(SimAccount& account, std::string const& name);
    StreamEnd& End(SimAccount& account, std::string const& name, std::string const& designator);
    // The other side of a stream end: its account and end, or nulls when it is gone.
    std::pair<SimAccount*, StreamEnd*> PeerOf(std::string const& name, StreamEnd const& end);
    StreamEnd* StreamTo(SimAccount& account, std::string const& name, std::string const& peer);
    void CloseStream(SimAccount& account, std::string const& name, int id, bool tellOwnSide);
    void CloseEverything(SimAccount& account);
    void AnnounceStatus(SimAccount& account, std::string const& before);

    // Link helpers: queue a message while linked; tell an account's state.
    void Tell(std::vector<std::string> fields);
    void TellAccount(SimAccount const& account);
    SimAccount* RemoteOf(StreamEnd const& end);
    SimAccount& AddRemoteAccount(std::string const& handle);
    void HandleAccount(LinkMessage const& message);
    void HandleStreamMessage(LinkMessage const& message);
    // The local account `handle` while it runs, is logged in and has the application.
    SimAccount* ReachableLocal(std::string const& handle, std::string const& name);
    StreamEnd& OpenEnd(SimAccount& account, std::string const& name, std::string const& peer);

    using PendingEnds = std::vector<std::pair<std::string const*, StreamEnd*>>;
    void Drain(SimAccount& account, Clock::time_point now);
    // Drains `pending` with `credit` bytes grown at `rate` over `seconds` (0: unlimited).
    void DrainShare(SimAccount& account, PendingEnds pending, double rate, double& credit, double seconds);
    std::size_t DrainEnd(SimAccount& account, std::string const& name, StreamEnd& end, std::size_t budget);
    void Deliver(SimAccount& sender, std::string const& name, StreamEnd& from, std::string packet);
    bool WindowFull(std::string const& name, StreamEnd& end);
    void Receive(SimAccount& reader, std::string const& name, StreamEnd& end, std::string packet);

    void Send(SimAccount& account, HWND client, std::string text, unsigned delayMs = 0);
    void NotifyStreams(SimAccount& account, std::string const& name);
    void NotifyReceived(SimAccount& account, std::string const& name);
    static std::string Designators(SimApplication const& application);
    // The streams with bytes still to send, as "user:id=bytes" items or as bare designators.
    static std::string SendingList(SimApplication const& application, bool withCounts);
    static bool HasPending(SimAccount const& account);
    void ReportSending(SimAccount& account, std::string const& name, Clock::time_point now);

    std::map<std::string, std::unique_ptr<SimAccount>> mAccounts;
    std::set<std::pair<std::string, std::string>> mFriendships;  // both orders stored
    CommandInterpreter mInterpreter;
    std::vector<Outgoing> mOutgoing;
    bool mLinked = false;
    bool mPeerGreeted = false;  // the other side's HELLO came
    std::vector<LinkMessage> mLinkOutgoing;
};

}  // namespace skypesim
