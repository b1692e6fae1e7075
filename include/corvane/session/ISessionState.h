#pragma once

#include <string>
#include <vector>

#include "foundation/Delegate.h"
#include "network/NetworkVisitor.h"
#include "session/ISession.h"

// One negotiation state of a session: the visitor of every message from the peer, the
// receiver of the session's connection events and the source of the user's operations. The
// session owns it and deletes it on the next switch, on "SkypeEvent": other threads reach it
// only inside ISession::ReadState and never keep the pointer. Messages and connection events
// (the On... methods) are the library's calls, on "SkypeEvent"; an operation's action runs on
// the thread that invokes it, "SkypeEvent" for ISession::PostOperation.
class ISessionState : public NetworkVisitor {
public:
    // Something the user may start now.
    struct AvailableOperation {
        std::string name;
        int iconId = -1;  // 7 view, 8 show own desktop, 9 stop/cancel/decline, 10 status, -1 none
        int flags = 0;
        ISessionState* owner = nullptr;
        Delegate0 action;
    };

    // A question waiting for the user.
    struct PendingNotification {
        std::string title;
        std::string text;
        std::wstring colour;
        std::vector<AvailableOperation> actions;
    };

    ~ISessionState() override = default;

    // The readers below: "SkypeEvent", or any thread inside ISession::ReadState.
    // Appends what the user may start now; pass a name to ISession::PostOperation.
    virtual void GetAvailableOperations(std::vector<AvailableOperation>& operations) {}
    // Appends the questions waiting for the user.
    virtual void GetPendingNotifications(std::vector<PendingNotification>& notifications) {}
    // The state for the user, short or long.
    virtual std::string GetDescription(bool longForm) = 0;
    // The name of the state's icon ("sharing", "viewing", ...); empty for none.
    virtual std::string GetResourceId() { return std::string(); }
    // Appends the state's status lines.
    virtual void GetStatusProperties(std::vector<SessionProperty>& properties) {}
    // False for states the user interface does not list.
    virtual bool GetShowToUser() const { return true; }

    // The library's calls, on "SkypeEvent": the state became current, the channels failed or
    // came up, the screen channel emptied.
    virtual void OnStarted() {}
    virtual void OnConnectFailure() {}
    virtual void OnConnectSuccess() {}
    virtual void OnSendingFinished() {}
};
