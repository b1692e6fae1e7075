#include "session/TrackingState.h"

#include "session/AvailableState.h"
#include "session/InitialState.h"

TrackingState::TrackingState(SessionQualityConfiguration const& quality) : mQuality(quality) {}

void TrackingState::GetAvailableOperations(std::vector<AvailableOperation>& operations) {
    SessionState::GetAvailableOperations(operations);
    operations.push_back(
        Operation("Stop sharing desktop", 9, 0, Delegate0::Bind<&TrackingState::HandleStopSharing>(this)));
}

std::string TrackingState::GetDescription(bool longForm) {
    return longForm ? "Tracking desktop changes and sending them to remote computer" : "Sharing";
}

void TrackingState::GetStatusProperties(std::vector<SessionProperty>& properties) {
    AppendQualityLines(mQuality, properties);
}

void TrackingState::OnConnectFailure() {
    ShowRawNotification("Remote user disconnected", L"red");
    ChangeState(new InitialState);
}

void TrackingState::Handle(RequestRemoteDesktopNetMsg const& message) {
    if (message.IsAborted()) {
        ShowRawNotification("Remote user aborted session.", L"red");
    }
    ChangeState(new AvailableState);
}

void TrackingState::Handle(ShowMyDesktopNetMsg const& message) {
    mQuality = SessionQualityConfiguration(message.GetSize(), static_cast<int>(message.GetColorDepth()),
                                           message.IsUseJpeg(), message.GetJpegQuality());
}

void TrackingState::HandleStopSharing() {
    SendAbort();
    ChangeState(new AvailableState);
}
