#pragma once

#include "config/ConfigGroups.h"
#include "session/SessionState.h"

// Showing the local desktop to the peer at the viewer's quality. Ends on the local user's
// stop, any request-kind message from the peer or a lost connection.
class TrackingState : public SessionState {
public:
    explicit TrackingState(SessionQualityConfiguration const& quality);

    void GetAvailableOperations(std::vector<AvailableOperation>& operations) override;
    std::string GetDescription(bool longForm) override;
    std::string GetResourceId() override { return "sharing"; }
    void GetStatusProperties(std::vector<SessionProperty>& properties) override;
    // "SkypeEvent": "Remote user disconnected", InitialState.
    void OnConnectFailure() override;

    // "SkypeEvent": an abort is noted; every payload ends sharing.
    void Handle(RequestRemoteDesktopNetMsg const& message) override;
    // "SkypeEvent": the viewer changed the quality.
    void Handle(ShowMyDesktopNetMsg const& message) override;

    // Operation "Stop sharing desktop": the thread that invokes it.
    void HandleStopSharing();

private:
    SessionQualityConfiguration mQuality;
};
