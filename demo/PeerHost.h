#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "PeerChannel.h"
#include "PeerOutput.h"
#include "foundation/SyncEvent.h"
#include "skype/SkypeApplication.h"
#include "skype/SkypeClient.h"

// What one person's plug-in holds, without sessions yet: a messenger client, the control and
// screen applications once attached, and per contact a channel on each of them (made when the
// user connects to the contact or the contact's stream opens). Prints a line for every event
// of the messenger it sees. Build, command and destroy it on one thread (the command reader's);
// events arrive on the client's "SkypeEvent" thread.
class PeerHost {
public:
    // `output` is not owned and must outlive the host. Message names as the messenger's.
    // Without `ownApplications` the host registers no applications: a session manager does.
    PeerHost(PeerOutput& output, std::string const& discoverMessage, std::string const& attachMessage,
             bool ownApplications = true);
    ~PeerHost();
    PeerHost(PeerHost const&) = delete;
    PeerHost& operator=(PeerHost const&) = delete;

    // Attaches and registers both applications; false when no attachment came in `timeoutMs`.
    bool Attach(DWORD timeoutMs);
    // Asks for both streams to `contact` and waits up to `timeoutMs` for them.
    bool Connect(std::string const& contact, DWORD timeoutMs);
    // Waits up to `timeoutMs` until both streams to some contact are open.
    bool WaitConnected(DWORD timeoutMs);
    // The channels to the contact connected last; std::runtime_error when there is none.
    PeerChannel& Control();
    PeerChannel& Screen();
    std::string const& User() const { return mUser; }
    SkypeClient& Client() { return mClient; }

private:
    struct Channels {
        std::unique_ptr<PeerChannel> control;
        std::unique_ptr<PeerChannel> screen;
    };

    Channels& ChannelsTo(std::string const& contact);
    Channels& Current();
    bool BothOpen(std::string const& contact);

    void OnAttach(ISkypeClient& client);
    void OnUserStatus(std::string const& user, ISkypeClient::UserStatus status);
    void OnLogout();
    void OnDatagram(std::string const& application, ISkypeEvents::AppDatagramData const& datagram);
    void OnConnectSuccess(std::string const& user, ISkypeApplication* application);
    void OnConnectFailure(std::string const& user, ISkypeApplication* application);

    PeerOutput& mOutput;
    SkypeClient mClient;
    bool mOwnApplications;
    std::string mUser;
    std::unique_ptr<SkypeApplication> mControlApp;  // while attached
    std::unique_ptr<SkypeApplication> mScreenApp;
    SyncEvent mAttached;       // the attachment succeeded
    SyncEvent mStreamChanged;  // a stream opened or closed
    std::mutex mLock;          // guards the channels and the current contact
    std::map<std::string, Channels> mChannels;
    std::string mContact;
};
