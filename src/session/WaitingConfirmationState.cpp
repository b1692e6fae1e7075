#include "session/WaitingConfirmationState.h"

WaitingConfirmationState::WaitingConfirmationState(SessionQualityConfiguration const& quality, Sent sent)
    : mQuality(quality), mSent(sent) {}

SessionTable::State WaitingConfirmationState::TableState() const {
    return mSent == Sent::Request ? SessionTable::State::WaitingForRequestAnswer
                                  : SessionTable::State::WaitingForOfferAnswer;
}

void WaitingConfirmationState::GetAvailableOperations(std::vector<AvailableOperation>& operations) {
    operations.push_back(
        Operation("Cancel", 9, 0, Delegate0::Bind<&WaitingConfirmationState::HandleCancel>(this)));
}

std::string WaitingConfirmationState::GetDescription(bool longForm) {
    return longForm ? "Waiting for remote user to confirm the request" : "Remote user confirmation required";
}

void WaitingConfirmationState::HandleCancel() {
    // Both, whatever the peer made of our message: the abort ends his question or a view he
    // already started, the withdrawn answer ends an offer.
    SendAbort();
    Send(ShowMyDesktopNetMsg(mQuality, false, true));
    Move(SessionTable::Local::Cancel);
}

void WaitingConfirmationState::Handle(RequestRemoteDesktopNetMsg const& message) {
    if (message.IsAborted()) {
        ShowRawNotification("Remote user declined to share desktop.", L"red");
        Move(SessionTable::Peer::Abort);
    } else if (message.IsAllowed()) {
        Move(SessionTable::Peer::Allowed, mQuality);
    }
}

void WaitingConfirmationState::Handle(ShowMyDesktopNetMsg const& message) {
    if (!message.IsAccepted()) {
        ShowRawNotification("Remote user declined to view desktop.", L"red");
    }
    Move(SessionTable::KindOf(message), message.GetQuality());
}
