#include "session/RequestConfirmationState.h"

#include "config/Configuration.h"
#include "session/ISessionGui.h"

RequestConfirmationState::RequestConfirmationState(SessionQualityConfiguration const& quality)
    : ConfirmationState(quality) {}

void RequestConfirmationState::GetAvailableOperations(std::vector<AvailableOperation>& operations) {
    operations.push_back(
        Operation("Accept", 8, 0, Delegate0::Bind<&RequestConfirmationState::HandleAccept>(this)));
    operations.push_back(
        Operation("Decline", 9, 0, Delegate0::Bind<&RequestConfirmationState::HandleDecline>(this)));
}

void RequestConfirmationState::GetPendingNotifications(std::vector<PendingNotification>& notifications) {
    AddQuestion("User wants to see your desktop", notifications);
}

std::string RequestConfirmationState::GetDescription(bool longForm) {
    return longForm ? "Waiting for confirmation to start sharing the desktop" : "User confirmation required";
}

void RequestConfirmationState::OnStarted() {
    if (mConfig->Plugin.AcceptMyAccount.Get() && mSession->IsSameAccount()) {
        HandleAccept();
        return;
    }
    ListenToNotificationClicks(true);
}

void RequestConfirmationState::HandleAccept() {
    mGui->CloseNotification();
    RequestRemoteDesktopNetMsg allowed;
    allowed.SetResponse(true);
    Send(allowed);
    Move(SessionTable::Local::Accept, mQuality);
}

void RequestConfirmationState::HandleDecline() {
    mGui->CloseNotification();
    SendAbort();
    Move(SessionTable::Local::Decline);
}
