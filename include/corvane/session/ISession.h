#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Event.h"
#include "foundation/WinTypes.h"
#include "session/DiscoveryInfo.h"

class Configuration;
class ISession;
class ISessionGui;
class ISessionState;
class NetworkMessage;
class RemoteScreenSurface;

// One line of a session's status table.
struct SessionProperty {
    std::string group;
    std::string name;
    std::string value;
};

// A state switch: old is null for the first state, new is null while the session empties.
struct StateChangeArgs {
    ISession* session;
    ISessionState* oldState;
    ISessionState* newState;
};

// The library's relationship with one contact: the channels to the contact's plug-in, the
// current negotiation state and the stop requested by the user interface.
class ISession {
public:
    // A drawn remote frame. `dc` may be read during the event only; to read the picture later
    // or from another thread, keep `surface` and read through its lock.
    struct RemoteScreenChangeArgs {
        HDC dc;
        int width;
        int height;
        HRGN changed;  // owned by the raiser, deleted right after the event; may be null
        int timing;
        std::shared_ptr<RemoteScreenSurface const> surface;  // the picture behind `dc`
    };

    ISession() = default;
    virtual ~ISession() = default;
    ISession(ISession const&) = delete;
    ISession& operator=(ISession const&) = delete;

    // Appends the session's and its state's status lines. The user interface's thread.
    virtual void GetStatusProperties(std::vector<SessionProperty>& properties) = 0;
    // The contact is the local user's own account signed in elsewhere. Any thread.
    virtual bool IsSameAccount() const = 0;
    // The contact's display name. Any thread but the client window's.
    virtual std::string GetFullName() = 0;
    // Measured throughput toward the contact, bytes per second. Any thread.
    virtual int GetSendCps() = 0;
    // Initialize, Connect, Disconnect, SendNetworkMessage and ChangeState are the library's
    // own (the manager's and the states'); a user interface does not call them.
    // Subscribes to the channels and starts `first` (taken; null: InitialState). The manager,
    // on "SkypeEvent", once.
    virtual void Initialize(ISessionState* first) = 0;
    // Asks for (or drops) both channels. The states, on the thread that runs them.
    virtual void Connect() = 0;
    virtual void Disconnect() = 0;
    // Records a stop that "SkypeEvent" carries out at its next idle tick. Any thread.
    virtual void StopDisplaying(bool returnToConnected) = 0;
    // Sends on the message's channel; false when it is not up or the send failed. Any thread.
    virtual bool SendNetworkMessage(NetworkMessage const& message) = 0;
    // The manager's configuration and the session's user interface; neither is the caller's.
    // Any thread.
    virtual Configuration* GetConfig() = 0;
    virtual ISessionGui* GetGui() = 0;
    // Takes `next` and makes it current. The thread that decided the change: "SkypeEvent",
    // or the user interface's for an operation it invoked itself.
    virtual void ChangeState(ISessionState* next) = 0;
    // SkypeError "Plugin state is not initialized" when there is none. "SkypeEvent" only: any
    // other thread reads the state through ReadState, since a switch deletes the old one.
    virtual ISessionState& GetCurrentState() const = 0;
    // Calls `read` with the current state (null when there is none) while no state switch can
    // delete it. Any thread; `read` must not switch the state or wait for "SkypeEvent", and
    // must not keep the state pointer.
    virtual void ReadState(std::function<void(ISessionState*)> const& read) const = 0;
    // Runs the current state's operation `name` on "SkypeEvent" at its next idle tick, if the
    // state is still the one current now and still offers it. Any thread; the way for the user
    // interface to carry out what the user chose.
    virtual void PostOperation(std::string const& name) = 0;
    // Raises the user interface's NotificationClicked(index) on "SkypeEvent" at its next idle
    // tick, if the state current now is still current. Any thread.
    virtual void PostNotificationClick(int index) = 0;
    // Whether the viewer may control this machine while we share with the contact: only then
    // do his input and clipboard reach it. Said before "Accept" or "Share my desktop", it is
    // the choice for that sharing; said while sharing, it gives or takes back control from the
    // viewer's next message on. Unsaid, a sharing takes the configured Sharing/AllowControl;
    // a said choice lasts until the session is back in AvailableState. Any thread.
    virtual void SetViewerControl(bool allowed) = 0;
    // The choice in force: the said one, else the configured default. Any thread.
    virtual bool HasViewerControl() = 0;

    // The contact's handle. Any thread.
    std::string GetUserNameW() const { return mUserName; }
    DiscoveryInfo GetDiscoveryInfo() const { return mDiscoveryInfo; }
    void SetDiscoveryInfo(DiscoveryInfo const& info) { mDiscoveryInfo = info; }

    // Raised by the viewing state on "SkypeEvent" after it drew a received frame.
    Event<RemoteScreenChangeArgs const&> RemoteScreenChanged;
    // Raised at the start of every state switch, on the switching thread.
    Event<StateChangeArgs&> StateChanging;
    // Raised when a new state has started and is still the current one.
    Event2<ISession*, ISessionState*> StateChanged;

protected:
    std::string mUserName;
    DiscoveryInfo mDiscoveryInfo;
};
