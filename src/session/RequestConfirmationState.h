#pragma once

#include "config/ConfigGroups.h"
#include "session/SessionState.h"

// The peer wants to see the local desktop: asks the local user.
class RequestConfirmationState : public SessionState {
public:
    explicit RequestConfirmationState(SessionQualityConfiguration const& quality);

    void GetAvailableOperations(std::vector<AvailableOperation>& operations) override;
    void GetPendingNotifications(std::vector<PendingNotification>& notifications) override;
    std::string GetDescription(bool longForm) override;
    std::string GetResourceId() override { return "waiting"; }
    // Accepts at once for the user's own account when "AcceptMyAccount" is on; otherwise
    // listens to the notification's buttons.
    void OnStarted() override;

    void Handle(RequestRemoteDesktopNetMsg const& message) override;

    // Operations: the thread that invokes them.
    void HandleAccept();
    void HandleDecline();

private:
    SessionQualityConfiguration mQuality;
};
