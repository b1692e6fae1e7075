#pragma once

#include <string>
#include <vector>

#include "foundation/Delegate.h"
#include "network/NetworkVisitor.h"
#include "session/ISession.h"

// One negotiation state of a session: the visitor of every message from the peer, the
// receiver of the session's connection events and the source of the user's operations.
// Messages and connection events arrive on "SkypeEvent"; operations run on the thread that
// invokes them.
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

    virtual void GetAvailableOperations(std::vector<AvailableOperation>& operations) {}
    virtual void GetPendingNotifications(std::vector<PendingNotification>& notifications) {}
    virtual std::string GetDescription(bool longForm) = 0;
    virtual std::string GetResourceId() { return std::string(); }
    virtual void GetStatusProperties(std::vector<SessionProperty>& properties) {}
    virtual bool GetShowToUser() const { return true; }
    virtual void OnStarted() {}
    virtual void OnConnectFailure() {}
    virtual void OnConnectSuccess() {}
    virtual void OnSendingFinished() {}
};
