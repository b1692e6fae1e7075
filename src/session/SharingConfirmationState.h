#pragma once

#include "session/ConfirmationState.h"

// The peer offers to show its desktop: asks the local user, who may change the quality.
class SharingConfirmationState : public ConfirmationState {
public:
    void GetAvailableOperations(std::vector<AvailableOperation>& operations) override;
    void GetPendingNotifications(std::vector<PendingNotification>& notifications) override;
    std::string GetDescription(bool longForm) override;
    SessionTable::State TableState() const override { return SessionTable::State::SharingConfirmation; }
    // Listens to the notification's buttons and takes the configured quality.
    void OnStarted() override;

    // Operations: the thread that invokes them.
    void HandleAccept() override;
    void HandleDecline() override;
    void HandleMore();
};
