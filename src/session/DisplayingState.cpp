#include "session/DisplayingState.h"

#include "session/AvailableState.h"
#include "session/ISessionGui.h"
#include "session/InitialState.h"

DisplayingState::DisplayingState(SessionQualityConfiguration const& quality) : mQuality(quality) {}

DisplayingState::~DisplayingState() {
    if (mGui) {
        mGui->HideRemoteDesktop();
    }
}

void DisplayingState::GetAvailableOperations(std::vector<AvailableOperation>& operations) {
    SessionState::GetAvailableOperations(operations);
    operations.push_back(
        Operation("Stop displaying", 9, 0, Delegate0::Bind<&DisplayingState::HandleCancel>(this)));
}

std::string DisplayingState::GetDescription(bool longForm) {
    return longForm ? "Displaying the remote desktop" : "Displaying";
}

void DisplayingState::GetStatusProperties(std::vector<SessionProperty>& properties) {
    AppendQualityLines(mQuality, properties);
}

void DisplayingState::OnStarted() {
    mGui->ShowRemoteDesktop(mQuality);
}

void DisplayingState::OnConnectFailure() {
    mGui->HideRemoteDesktop();
    ShowRawNotification("Remote user disconnected", L"red");
    ChangeState(new InitialState);
}

void DisplayingState::Handle(RequestRemoteDesktopNetMsg const& message) {
    if (!message.IsAborted()) {
        return;
    }
    ShowRawNotification("Remote user aborted session.", L"red");
    mGui->HideRemoteDesktop();
    ChangeState(new AvailableState);
}

void DisplayingState::HandleCancel() {
    mGui->HideRemoteDesktop();
    mSession->StopDisplaying(true);
}
