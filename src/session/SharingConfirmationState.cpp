#include "session/SharingConfirmationState.h"

#include "config/Configuration.h"
#include "session/ISessionGui.h"

void SharingConfirmationState::GetAvailableOperations(std::vector<AvailableOperation>& operations) {
    operations.push_back(
        Operation("Accept", 7, 4, Delegate0::Bind<&SharingConfirmationState::HandleAccept>(this)));
    operations.push_back(
        Operation("Decline", 9, 0, Delegate0::Bind<&SharingConfirmationState::HandleDecline>(this)));
    operations.push_back(
        Operation("More...", -1, 0, Delegate0::Bind<&SharingConfirmationState::HandleMore>(this)));
}

void SharingConfirmationState::GetPendingNotifications(std::vector<PendingNotification>& notifications) {
    tagSIZE const size = mQuality.Resolution.Get();
    std::string const depth = std::to_string(mQuality.ColorDepth.Get());
    std::string const shape = size.cx != 0 && size.cy != 0
                                  ? std::to_string(size.cx) + "x" + std::to_string(size.cy) + "x" + depth
                                  : "best fit " + depth + "bit";
    AddQuestion("User wants you to see remote desktop (" + shape + "). Accept?", notifications);
}

std::string SharingConfirmationState::GetDescription(bool longForm) {
    return longForm ? "Waiting for confirmation to start displaying the remote desktop"
                    : "User confirmation required";
}

void SharingConfirmationState::OnStarted() {
    ListenToNotificationClicks(true);
    mQuality = mConfig->SessionQuality;
}

void SharingConfirmationState::HandleAccept() {
    mGui->CloseNotification();
    Send(ShowMyDesktopNetMsg(mQuality, true, false));
    Move(SessionTable::Local::Accept, mQuality);
}

void SharingConfirmationState::HandleDecline() {
    mGui->CloseNotification();
    Send(ShowMyDesktopNetMsg(mQuality, false, false));
    Move(SessionTable::Local::Decline);
}

void SharingConfirmationState::HandleMore() {
    int const answer = mGui->EditQuality(mQuality);
    if (answer == 0) {
        HandleAccept();
    } else if (answer == 1) {
        HandleDecline();
    }
}
