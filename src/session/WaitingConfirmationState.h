#pragma once

#include "config/ConfigGroups.h"
#include "session/SessionState.h"

// The local user asked for the peer's desktop or offered the own one; waits for the answer.
class WaitingConfirmationState : public SessionState {
public:
    explicit WaitingConfirmationState(SessionQualityConfiguration const& quality);

    void GetAvailableOperations(std::vector<AvailableOperation>& operations) override;
    std::string GetDescription(bool longForm) override;
    std::string GetResourceId() override { return "waiting"; }

    void Handle(RequestRemoteDesktopNetMsg const& message) override;
    void Handle(ShowMyDesktopNetMsg const& message) override;

    // Operation "Cancel": the thread that invokes it.
    void HandleCancel();

private:
    SessionQualityConfiguration mQuality;
};
