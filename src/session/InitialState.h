#pragma once

#include "session/SessionState.h"

// Connecting: asks for both channels, exchanges discoveries once they are up, and moves to
// AvailableState at the peer's first discovery. Not listed to the user.
class InitialState : public SessionState {
public:
    std::string GetDescription(bool longForm) override;
    SessionTable::State TableState() const override { return SessionTable::State::Initial; }
    bool GetShowToUser() const override { return false; }
    // None: there is nothing to show or start before the peer is found.
    void GetAvailableOperations(std::vector<AvailableOperation>&) override {}

    // "SkypeEvent" (or the thread that initialised the session): connects both channels.
    void OnStarted() override;
    // "SkypeEvent": both channels are up.
    void OnConnectSuccess() override;
    // "SkypeEvent": starts again, silently.
    void OnConnectFailure() override;
    void Handle(DiscoveryNetMsg const& message) override;

    void CancelConnect() {}

private:
    bool mDiscovered = false;
};
