#include "session/ConfirmationState.h"

#include "session/ISessionGui.h"

void ConfirmationState::Handle(RequestRemoteDesktopNetMsg const& message) {
    if (!message.IsAborted()) {
        return;
    }
    ShowRawNotification("Remote user cancelled request.", L"red");
    mGui->CloseNotification();
    Move(SessionTable::Peer::Abort);
}

void ConfirmationState::AddQuestion(std::string const& text,
                                    std::vector<PendingNotification>& notifications) {
    PendingNotification notification;
    notification.title = mSession->GetFullName();
    notification.text = text;
    GetAvailableOperations(notification.actions);
    notifications.push_back(notification);
}
