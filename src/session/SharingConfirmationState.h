#pragma once

#include "config/ConfigGroups.h"
#include "session/SessionState.h"

// The peer offers to show its desktop: asks the local user, who may change the quality.
class SharingConfirmationState : public SessionState {
public:
    void GetAvailableOperations(std::vector<AvailableOperation>& operations) override;
    void GetPendingNotifications(std::vector<PendingNotification>& notifications) override;
    std::string GetDescription(bool longForm) override;
    std::string GetResourceId() override { return "waiting"; }
    // Listens to the notification's buttons and takes the configured quality.
    void OnStarted() override;

    void Handle(RequestRemoteDesktopNetMsg const& message) override;

    // Operations: the thread that invokes them.
    void HandleAccept();
    void HandleDecline();
    void HandleMore();

private:
    SessionQualityConfiguration mQuality;
};
