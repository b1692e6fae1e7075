#pragma once

#include "config/ConfigGroups.h"
#include "session/SessionState.h"

// Viewing the peer's desktop at the agreed quality. Ends on the local user's stop (carried
// out by the session on "SkypeEvent"), the peer's abort or a lost connection.
class DisplayingState : public SessionState {
public:
    explicit DisplayingState(SessionQualityConfiguration const& quality);
    // The view goes away with the state.
    ~DisplayingState() override;

    void GetAvailableOperations(std::vector<AvailableOperation>& operations) override;
    std::string GetDescription(bool longForm) override;
    std::string GetResourceId() override { return "displaying"; }
    void GetStatusProperties(std::vector<SessionProperty>& properties) override;
    // Opens the view.
    void OnStarted() override;
    // "SkypeEvent": closes the view, "Remote user disconnected", InitialState.
    void OnConnectFailure() override;

    // "SkypeEvent": only the peer's abort ends viewing.
    void Handle(RequestRemoteDesktopNetMsg const& message) override;

    // Operation "Stop displaying", user interface's thread: hides the view at once and leaves
    // the rest to the session's next idle tick.
    void HandleCancel();

private:
    SessionQualityConfiguration mQuality;
};
