#pragma once

#include <atomic>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "foundation/CriticalSection.h"
#include "network/ControlMessages.h"
#include "session/ISession.h"
#include "session/SessionTable.h"

class ISessionGui;
class ISkypeApplication;
class ISkypeClient;
class NetworkProtocol;
class SkypeReliableNetworkTransport;
class TextNetworkTransport;

// The session with one contact: a control channel over the application "corvane" and a
// screen channel over "corvane.screen", each a transport and a protocol built afresh on every
// connect, and the current state, registered as the visitor of both protocols.
//
// Threads: the channel, idle and message handlers run on the client's "SkypeEvent" thread,
// and so do the state switches the peer causes. StopDisplaying and the Post... operations may
// be called from any thread; they only record the request, which the next idle tick carries
// out on "SkypeEvent". The rest is called by the manager and the states.
class Session : public ISession {
public:
    // `control` and `screen` (SkypeError "SkypeApplication not initialized for Session" when
    // null) and `client` are not owned and must outlive the session or its Detach; null
    // `config` makes the session use defaults of its own.
    Session(ISkypeApplication* control, ISkypeApplication* screen, std::string const& user,
            ISkypeClient* client, bool initialize, Configuration* config);
    ~Session() override;

    void GetStatusProperties(std::vector<SessionProperty>& properties) override;
    bool IsSameAccount() const override;
    std::string GetFullName() override;
    int GetSendCps() override;
    // Subscribes to the channels and the idle tick, then starts `first` (null: InitialState).
    void Initialize(ISessionState* first) override;
    void Connect() override;
    void Disconnect() override;
    // Any thread.
    void StopDisplaying(bool returnToConnected) override;
    // Any thread; false when the message's channel is not up or the send failed.
    bool SendNetworkMessage(NetworkMessage const& message) override;
    ISessionGui* GetGui() override { return mGui.get(); }
    // Takes `next`; the old state is deleted after the new one has started.
    void ChangeState(ISessionState* next) override;
    ISessionState& GetCurrentState() const override;
    // Any thread.
    void SetViewerControl(bool allowed) override;
    bool HasViewerControl() override;

    void SetGui(boost::shared_ptr<ISessionGui> gui) { mGui = gui; }

    // Any thread: see ISession.
    void ReadState(std::function<void(ISessionState*)> const& read) const override;
    void PostOperation(std::string const& name) override;
    void PostNotificationClick(int index) override;

    // Lets go of the applications and the client: removes every handler and deletes the
    // channels, so that nothing reaches the session any more. The state lives on until the
    // session is deleted. Safe inside a handler of the session's own.
    void Detach();

protected:
    Configuration* GetConfig() override { return mConfig; }

private:
    // One channel: the transport and the protocol on top of it, both owned.
    struct Channel {
        SkypeReliableNetworkTransport* transport = nullptr;
        NetworkProtocol* protocol = nullptr;
    };
    enum : int { kControlUnsaid = -1, kControlDenied = 0, kControlAllowed = 1 };
    // A user's request waiting for the idle tick.
    struct PostedRequest {
        unsigned generation;
        std::string operation;  // empty: a notification click
        int index;
    };

    void HandleSuccessConnect(std::string const& user, ISkypeApplication* application);
    void HandleConnectFailure(std::string const& user, ISkypeApplication* application);
    void HandleSendingFinished(std::string const& user, ISkypeApplication* application);
    void HandleSkypeEventsIdle();

    void Subscribe(bool on);
    void RebuildChannel(Channel& channel, ISkypeApplication* application, std::string const& dumpName);
    // Empties `channel` under the channel lock; the caller deletes what it got outside it.
    Channel TakeChannel(Channel& channel);
    static void DeleteChannel(Channel const& channel);
    NetworkProtocol* ProtocolOf(Channel const& channel);
    void CarryOutStop(bool returnToConnected);
    void ForgetViewerControlBetweenSharings(SessionTable::State next);
    void RunPostedRequests();
    void Post(PostedRequest const& request);

    Configuration* mConfig;               // not owned unless it is mOwnConfig
    Configuration* mOwnConfig = nullptr;  // owned
    boost::shared_ptr<ISessionGui> mGui;
    ISkypeClient* mClient;           // not owned
    ISkypeApplication* mControlApp;  // not owned; null after Detach
    Channel mControl;
    ISkypeApplication* mScreenApp;  // not owned; null after Detach
    Channel mScreen;
    // Guards the two channels: the sharing side sends from its own threads while "SkypeEvent"
    // rebuilds or drops them. Never held while a channel is deleted (that waits for a running
    // dispatch, whose handlers may send).
    CriticalSection mChannelLock;
    ISessionState* mState = nullptr;  // owned
    // Held by readers of the state on other threads; a switch waits for them before it
    // deletes the old state, but never holds it while deleting.
    mutable CriticalSection mStateLock;
    std::atomic<long> mPendingStop{0};     // 0 none, 1 stop, 2 stop and return to AvailableState
    std::atomic<unsigned> mGeneration{0};  // counts state switches
    // Our user's say over the viewer's control: kControlUnsaid until he says, and again once
    // the session is back in AvailableState or InitialState.
    std::atomic<int> mViewerControl{kControlUnsaid};
    bool mSubscribed = false;
    CriticalSection mPostedLock;  // guards mPosted
    std::vector<PostedRequest> mPosted;
};
