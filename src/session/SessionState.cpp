#include "session/SessionState.h"

#include "config/ConfigGroups.h"
#include "foundation/CorvaneLogging.h"
#include "foundation/Errors.h"
#include "network/NetworkMessage.h"
#include "session/ISessionGui.h"

SessionState::~SessionState() {
    ListenToNotificationClicks(false);
}

void SessionState::SetupNewState(ISession* session) {
    mSession = session;
    mConfig = session ? session->GetConfig() : nullptr;
    mGui = session ? session->GetGui() : nullptr;
}

ISessionState::AvailableOperation SessionState::Operation(std::string const& name, int iconId, int flags,
                                                          Delegate0 action) {
    AvailableOperation operation;
    operation.name = name;
    operation.iconId = iconId;
    operation.flags = flags;
    operation.owner = this;
    operation.action = action;
    return operation;
}

void SessionState::Visit(NetworkMessage& message) {
    SessionTable::Peer const kind = SessionTable::KindOf(message);
    SessionTable::State const state = TableState();
    if (SessionTable::Lookup(state, kind) == SessionTable::Next::Ignored) {
        CORVANE_LOG("Ignored " << SessionTable::NameOf(kind) << " from the peer in "
                               << SessionTable::NameOf(state));
        return;
    }
    // The last use of this state: its handler may switch it.
    message.Route(*this);
}

void SessionState::GetAvailableOperations(std::vector<AvailableOperation>& operations) {
    operations.push_back(Operation("Show status", 10, 0, Delegate0::Bind<&SessionState::ShowStatus>(this)));
}

void SessionState::OnConnectFailure() {
    ShowRawNotification("Remote user disconnected.", L"red");
    Move(SessionTable::Local::ConnectFailure);
}

void SessionState::PerformNotificationAction(int index, std::string const&) {
    std::vector<PendingNotification> notifications;
    GetPendingNotifications(notifications);
    if (notifications.size() != 1 || index < 0 ||
        static_cast<std::size_t>(index) >= notifications[0].actions.size()) {
        return;
    }
    notifications[0].actions[index].action();
}

void SessionState::ShowStatus() {
    mGui->ShowStatus(false);
}

void SessionState::ChangeState(SessionState* next) {
    mGui->OnStateLeaving();
    mSession->ChangeState(next);
}

template <class Event>
void SessionState::MoveOn(Event event, SessionQualityConfiguration const& quality) {
    SessionTable::Next const next = SessionTable::Lookup(TableState(), event);
    if (SessionState* state = SessionTable::Enter(next, quality)) {
        ChangeState(state);
    } else {
        CORVANE_LOG("No move on " << SessionTable::NameOf(event) << " in "
                                  << SessionTable::NameOf(TableState()));
    }
}

void SessionState::Move(SessionTable::Local event, SessionQualityConfiguration const& quality) {
    MoveOn(event, quality);
}

void SessionState::Move(SessionTable::Local event) {
    MoveOn(event, SessionQualityConfiguration());
}

void SessionState::Move(SessionTable::Peer message, SessionQualityConfiguration const& quality) {
    MoveOn(message, quality);
}

void SessionState::Move(SessionTable::Peer message) {
    MoveOn(message, SessionQualityConfiguration());
}

void SessionState::ShowRawNotification(std::string const& text, std::wstring const& colour) {
    mGui->ShowNotification(mSession->GetFullName(), text, colour, std::vector<NotificationButton>());
}

bool SessionState::Send(NetworkMessage const& message) {
    return mSession->SendNetworkMessage(message);
}

void SessionState::SendAbort() {
    RequestRemoteDesktopNetMsg abort;
    abort.SetAbort(true);
    Send(abort);
}

void SessionState::ListenToNotificationClicks(bool on) {
    if (!mGui || on == mListening) {
        return;
    }
    mListening = on;
    auto handler = MakeDelegate<&SessionState::OnNotificationClicked>(this);
    if (on) {
        mGui->NotificationClicked.Add(handler);
    } else {
        mGui->NotificationClicked.Remove(handler);
    }
}

void SessionState::OnNotificationClicked(int index, std::string const& text) {
    PerformNotificationAction(index, text);
}

void SessionState::AppendQualityLines(SessionQualityConfiguration const& quality,
                                      std::vector<SessionProperty>& properties) {
    tagSIZE const size = quality.Resolution.Get();
    unsigned const depth = quality.ColorDepth.Get();
    properties.push_back({"Display", "Resolution", std::to_string(size.cx) + "x" + std::to_string(size.cy)});
    properties.push_back({"Display", "Color depth",
                          depth == 1 ? std::string("Black & white") : std::to_string(depth) + " bit"});
    bool const jpeg = quality.UseJpeg.Get();
    properties.push_back({"Display", "Using JPEG compression", jpeg ? "Yes" : "No"});
    if (jpeg) {
        properties.push_back(
            {"Display", "JPEG compression level", std::to_string(quality.JpegQuality.Get())});
    }
}

tagSIZE SessionState::DesktopSize() {
    tagSIZE size = {GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    if (size.cx == 0) {
        size = {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    return size;
}
