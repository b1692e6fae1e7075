#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "session/ISession.h"

// A session with no channels, states or user interface: every call does nothing, writes fail
// and there is no current state. Tests derive from it and override what they play.
class NullSession : public ISession {
public:
    void GetStatusProperties(std::vector<SessionProperty>&) override {}
    bool IsSameAccount() const override { return false; }
    std::string GetFullName() override { return mUserName; }
    int GetSendCps() override { return 0; }
    void Initialize(ISessionState*) override {}
    void Connect() override {}
    void Disconnect() override {}
    void StopDisplaying(bool) override {}
    bool SendNetworkMessage(NetworkMessage const&) override { return false; }
    Configuration* GetConfig() override { return nullptr; }
    ISessionGui* GetGui() override { return nullptr; }
    void ChangeState(ISessionState*) override {}
    ISessionState& GetCurrentState() const override { throw std::logic_error("a null session has no state"); }
    void ReadState(std::function<void(ISessionState*)> const& read) const override { read(nullptr); }
    void PostOperation(std::string const&) override {}
    void PostNotificationClick(int) override {}
    void SetViewerControl(bool) override {}
    bool HasViewerControl() override { return false; }
};
