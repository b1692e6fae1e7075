#include "session/InitialState.h"

#include "config/Configuration.h"
#include "foundation/CorvaneLogging.h"
#include "foundation/Errors.h"

namespace {
constexpr int kDiscoveryTries = 3;
constexpr DWORD kDiscoveryPauseMs = 10;
}  // namespace

std::string InitialState::GetDescription(bool longForm) {
    return longForm ? "Trying to connect to remote user" : "Connecting";
}

void InitialState::OnStarted() {
    try {
        mSession->Connect();
    } catch (SkypeError const& error) {
        CORVANE_LOG("Connect failed for " << mSession->GetUserNameW() << ": " << error.what());
    }
}

void InitialState::OnConnectSuccess() {
    bool const privateInfo = mConfig->Plugin.ShowPrivateInfo.Get();
    for (int attempt = 0; attempt < kDiscoveryTries; ++attempt) {
        if (Send(DiscoveryNetMsg(privateInfo))) {
            return;
        }
        Sleep(kDiscoveryPauseMs);
    }
    try {
        mSession->Disconnect();
        mSession->Connect();
    } catch (SkypeError const& error) {
        CORVANE_LOG("Reconnect failed for " << mSession->GetUserNameW() << ": " << error.what());
    }
}

void InitialState::OnConnectFailure() {
    Move(SessionTable::Local::ConnectFailure);
}

void InitialState::Handle(DiscoveryNetMsg const& message) {
    if (mDiscovered) {
        return;
    }
    mDiscovered = true;
    mSession->SetDiscoveryInfo(message.GetDiscoveryInfo());
    Send(DiscoveryNetMsg(mConfig->Plugin.ShowPrivateInfo.Get()));
    ShowRawNotification("Remote user becomes online", L"green");
    Move(SessionTable::Peer::Discovery);
}
