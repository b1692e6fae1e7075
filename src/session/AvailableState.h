#pragma once

#include "foundation/Timer.h"
#include "session/SessionState.h"

// Connected and idle: the user may ask for the peer's desktop or offer the own one; the
// peer's request or offer leads to the matching confirmation state.
class AvailableState : public SessionState {
public:
    void GetAvailableOperations(std::vector<AvailableOperation>& operations) override;
    std::string GetDescription(bool longForm) override;
    SessionTable::State TableState() const override { return SessionTable::State::Available; }
    std::string GetResourceId() override { return "available"; }
    // "SkypeEvent": back to InitialState, silently.
    void OnConnectFailure() override;

    void Handle(DesktopResolutionMsg const& message) override;
    void Handle(ShowMyDesktopNetMsg const& message) override;
    void Handle(RequestRemoteDesktopNetMsg const& message) override;
    void Handle(TestConnectNetMsg const& message) override;

    // Operations: the thread that invokes them.
    void RequestRemoteDesktop();
    void ShowMyDesktop();
    void TestPing() { TestConnection(2); }
    void TestSend() { TestConnection(50000); }
    void TestConnection(int length);

private:
    void SendRequest(SessionQualityConfiguration const& quality);

    Timer mTestTimer;
    bool mTestRunning = false;
    bool mResolutionAsked = false;  // "best fit" sent a query and waits for the reply
};
