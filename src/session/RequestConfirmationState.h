#pragma once

#include "session/ConfirmationState.h"

// The peer wants to see the local desktop: asks the local user.
class RequestConfirmationState : public ConfirmationState {
public:
    explicit RequestConfirmationState(SessionQualityConfiguration const& quality);

    void GetAvailableOperations(std::vector<AvailableOperation>& operations) override;
    void GetPendingNotifications(std::vector<PendingNotification>& notifications) override;
    std::string GetDescription(bool longForm) override;
    SessionTable::State TableState() const override { return SessionTable::State::RequestConfirmation; }
    // Accepts at once for the user's own account when "AcceptMyAccount" is on; otherwise
    // listens to the notification's buttons.
    void OnStarted() override;

    // Operations: the thread that invokes them.
    void HandleAccept() override;
    void HandleDecline() override;
};
