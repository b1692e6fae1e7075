#pragma once

#include "config/ConfigGroups.h"
#include "session/SessionState.h"

// What the two states that ask the local user have in common: the quality in question, the
// question's buttons, and the peer's cancelling abort.
class ConfirmationState : public SessionState {
public:
    std::string GetResourceId() override { return "waiting"; }
    // "SkypeEvent": the peer cancelled; other payloads are ignored.
    void Handle(RequestRemoteDesktopNetMsg const& message) override;

    // Operations: the thread that invokes them.
    virtual void HandleAccept() = 0;
    virtual void HandleDecline() = 0;

protected:
    ConfirmationState() = default;
    explicit ConfirmationState(SessionQualityConfiguration const& quality) : mQuality(quality) {}

    // One notification titled with the contact's name, with the state's operations as buttons.
    void AddQuestion(std::string const& text, std::vector<PendingNotification>& notifications);

    SessionQualityConfiguration mQuality;
};
