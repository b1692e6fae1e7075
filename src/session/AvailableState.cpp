#include "session/AvailableState.h"

#include <sstream>

#include "config/Configuration.h"
#include "foundation/CorvaneLogging.h"
#include "foundation/MessageBox.h"
#include "session/ISessionGui.h"

void AvailableState::GetAvailableOperations(std::vector<AvailableOperation>& operations) {
    SessionState::GetAvailableOperations(operations);
    if (mConfig && mConfig->Logging.Enabled.Get()) {
        operations.push_back(Operation("Test ping", -1, 0, Delegate0::Bind<&AvailableState::TestPing>(this)));
        operations.push_back(Operation("Test send", -1, 0, Delegate0::Bind<&AvailableState::TestSend>(this)));
    }
    operations.push_back(Operation("Request remote desktop", 7, 0,
                                   Delegate0::Bind<&AvailableState::RequestRemoteDesktop>(this)));
    operations.push_back(
        Operation("Share my desktop", 8, 0, Delegate0::Bind<&AvailableState::ShowMyDesktop>(this)));
}

std::string AvailableState::GetDescription(bool longForm) {
    return longForm ? "Connected to remote user and waiting for commands" : "Connected";
}

void AvailableState::OnConnectFailure() {
    Move(SessionTable::Local::ConnectFailure);
}

void AvailableState::SendRequest(SessionQualityConfiguration const& quality) {
    Send(RequestRemoteDesktopNetMsg(true, quality));
    Move(SessionTable::Local::Request, quality);
}

void AvailableState::RequestRemoteDesktop() {
    SessionQualityConfiguration quality = mConfig->SessionQuality;
    if (mGui->EditQuality(quality) != 0) {
        return;
    }
    tagSIZE const size = quality.Resolution.Get();
    if (size.cx != 0 && size.cy != 0) {
        SendRequest(quality);
    } else {
        mResolutionAsked = Send(DesktopResolutionMsg());
    }
}

void AvailableState::Handle(DesktopResolutionMsg const& message) {
    if (message.IsRequest()) {
        Send(DesktopResolutionMsg(DesktopSize()));
        return;
    }
    // A reply nobody asked for must not start a request the user never made.
    if (!mResolutionAsked) {
        return;
    }
    mResolutionAsked = false;
    SessionQualityConfiguration quality = mConfig->SessionQuality;
    quality.Resolution.Set(DesktopSize());
    SendRequest(quality);
}

void AvailableState::ShowMyDesktop() {
    SessionQualityConfiguration const& quality = mConfig->SessionQuality;
    Send(ShowMyDesktopNetMsg(quality, false, false));
    Move(SessionTable::Local::Offer, quality);
}

void AvailableState::Handle(ShowMyDesktopNetMsg const& message) {
    if (!message.IsResponse()) {
        Move(SessionTable::Peer::Offer);
    }
}

void AvailableState::Handle(RequestRemoteDesktopNetMsg const& message) {
    if (message.IsRequest()) {
        Move(SessionTable::Peer::Request, message.GetQuality());
    }
}

void AvailableState::TestConnection(int length) {
    std::string const payload(static_cast<std::size_t>(length), '1');
    Send(TestConnectNetMsg(payload.c_str(), false));
    mTestTimer.StartTimer();
    mTestRunning = true;
}

void AvailableState::Handle(TestConnectNetMsg const& message) {
    if (!message.IsResponse()) {
        std::string const payload = message.GetData();
        if (!payload.empty()) {
            Send(TestConnectNetMsg(payload.c_str(), true));
        }
        return;
    }
    // An echo nobody asked for (or a second one) would show a made-up time.
    if (!mTestRunning) {
        return;
    }
    mTestRunning = false;
    double const elapsed = mTestTimer.GetTimeInSec() * 0.5;
    std::stringstream text;
    text << "  " << elapsed << " sec";
    CORVANE_LOG(text.str() << " TIME ELAPSED ");
    std::string const shown = text.str();
    ShowMessageBox(nullptr, std::wstring(shown.begin(), shown.end()), L" TIME ELAPSED ", MB_OK);
}
