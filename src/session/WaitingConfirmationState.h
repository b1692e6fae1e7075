#pragma once

#include "config/ConfigGroups.h"
#include "session/SessionState.h"

// The local user asked for the peer's desktop or offered the own one; waits for the answer.
// Only the answer to what was sent goes on: an "OK" completes a request, an accepted answer
// completes an offer, and neither completes the other.
class WaitingConfirmationState : public SessionState {
public:
    enum class Sent { Request, Offer };

    WaitingConfirmationState(SessionQualityConfiguration const& quality, Sent sent);

    void GetAvailableOperations(std::vector<AvailableOperation>& operations) override;
    std::string GetDescription(bool longForm) override;
    std::string GetResourceId() override { return "waiting"; }
    SessionTable::State TableState() const override;

    void Handle(RequestRemoteDesktopNetMsg const& message) override;
    void Handle(ShowMyDesktopNetMsg const& message) override;

    // Operation "Cancel": the thread that invokes it.
    void HandleCancel();

private:
    SessionQualityConfiguration mQuality;
    Sent const mSent;
};
