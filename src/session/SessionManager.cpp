#include "session/SessionManager.h"

#include <algorithm>
#include <exception>

#include <boost/shared_ptr.hpp>

#include "foundation/StringHelper.h"
#include "foundation/CorvaneLogging.h"
#include "foundation/Errors.h"
#include "session/ISessionGuiManager.h"
#include "session/ISessionState.h"
#include "session/InitialState.h"
#include "session/Session.h"
#include "skype/SkypeApplication.h"
#include "skype/SkypeAvatar.h"

namespace {
constexpr char kControlApplication[] = "corvane";
constexpr char kScreenApplication[] = "corvane.screen";
}  // namespace

SessionManager::SessionManager(ISkypeClient* client, ISessionGuiManager* guiManager, Configuration* config)
    : mConfig(config), mClient(client), mGuiManager(guiManager) {
    if (!client) {
        Raise(SkypeError("Invalid Client pointer"));
    }
    if (!guiManager) {
        Raise(SkypeError("Invalid GUI pointer"));
    }
    mClient->OnUserStatus.Add(MakeDelegate<&SessionManager::HandleUserOnline>(this));
    mClient->OnAttach.Add(MakeDelegate<&SessionManager::OnSkypeAttached>(this));
    mClient->OnLogout.Add(MakeDelegate<&SessionManager::OnLoggedOut>(this));
    mClient->OnIdle.Add(MakeDelegate<&SessionManager::HandleIdle>(this));
}

SessionManager::~SessionManager() {
    mClient->OnUserStatus.Remove(MakeDelegate<&SessionManager::HandleUserOnline>(this));
    mClient->OnAttach.Remove(MakeDelegate<&SessionManager::OnSkypeAttached>(this));
    mClient->OnLogout.Remove(MakeDelegate<&SessionManager::OnLoggedOut>(this));
    mClient->OnIdle.Remove(MakeDelegate<&SessionManager::HandleIdle>(this));
    ClearSessions();
    DeleteDropped();
}

std::vector<ISession*> SessionManager::GetSessions() const {
    CriticalSectionLock lock(mLock);
    return mSessions;
}

void SessionManager::RegisterSession(ISession* session) {
    session->StateChanged.Add(MakeDelegate<&SessionManager::HandleSessionStateChanged>(this));
}

void SessionManager::UnregisterSession(ISession* session) {
    session->StateChanged.Remove(MakeDelegate<&SessionManager::HandleSessionStateChanged>(this));
}

void SessionManager::OnSkypeAttached(ISkypeClient& client) {
    if (client.GetAttachStatus() != ISkypeClient::AttachSuccess) {
        ClearSessions();
        return;
    }
    if (!mControlApp) {
        Install();
    }
}

void SessionManager::OnLoggedOut() {
    ClearSessions();
    SessionsChanged(callimpl::EventVoidType());
}

void SessionManager::Install() {
    DeleteDropped();
    delete mControlApp;
    mControlApp = nullptr;
    mControlApp = new SkypeApplication(mClient, kControlApplication);
    delete mScreenApp;
    mScreenApp = nullptr;
    mScreenApp = new SkypeApplication(mClient, kScreenApplication);
    std::vector<std::string> handles;
    mClient->GetFriends(handles);
    std::string const me = mClient->GetCurrentUser();
    if (std::find(handles.begin(), handles.end(), me) == handles.end()) {
        handles.push_back(me);
    }
    HandleFriendsList(handles);
}

bool SessionManager::HasSession(std::string const& user) const {
    CriticalSectionLock lock(mLock);
    return std::any_of(mSessions.begin(), mSessions.end(),
                       [&](ISession* session) { return session->GetUserNameW() == user; });
}

void SessionManager::HandleFriendsList(std::vector<std::string> const& handles) {
    for (std::string const& handle : handles) {
        if (!HasSession(handle)) {
            StartSession(handle);
        }
    }
}

void SessionManager::HandleUserOnline(std::string const& user, ISkypeClient::UserStatus status) {
    // Before the first attach there are no applications to build a session on.
    if (status != ISkypeClient::UserOnline || !mControlApp || HasSession(user)) {
        return;
    }
    StartSession(user);
}

void SessionManager::StartSession(std::string const& user) {
    Session* session = new Session(mControlApp, mScreenApp, user, mClient, false, mConfig);
    boost::shared_ptr<ISessionGui> gui = mGuiManager->CreateSessionGui(session);
    session->SetGui(gui);
    RegisterSession(session);
    try {
        // The states call their user interface without asking whether there is one.
        if (!gui) {
            Raise(SkypeError("No user interface for the session with " + user));
        }
        session->Initialize(new InitialState);
        CriticalSectionLock lock(mLock);
        mSessions.push_back(session);
    } catch (std::exception const& error) {
        CORVANE_LOG("Error while starting session: " << error.what());
        UnregisterSession(session);
        delete session;
    }
}

void SessionManager::ClearSessions() {
    std::vector<ISession*> sessions;
    {
        CriticalSectionLock lock(mLock);
        sessions.swap(mSessions);
    }
    for (ISession* session : sessions) {
        UnregisterSession(session);
        // Nothing reaches it any more, but its state may be running further up the stack.
        if (Session* own = dynamic_cast<Session*>(session)) {
            own->Detach();
        }
    }
    CriticalSectionLock lock(mLock);
    mDroppedSessions.insert(mDroppedSessions.end(), sessions.begin(), sessions.end());
    for (SkypeApplication* application : {mControlApp, mScreenApp}) {
        if (application) {
            mDroppedApps.push_back(application);
        }
    }
    mControlApp = nullptr;
    mScreenApp = nullptr;
}

void SessionManager::HandleIdle() {
    DeleteDropped();
}

void SessionManager::DeleteSession(ISession* session) {
    try {
        delete session;
    } catch (std::exception const& error) {
        CORVANE_LOG("Error when deleting session: " << error.what());
    } catch (...) {
        CORVANE_LOG("Error when deleting session");
    }
}

void SessionManager::DeleteDropped() {
    std::vector<ISession*> sessions;
    std::vector<SkypeApplication*> applications;
    {
        CriticalSectionLock lock(mLock);
        sessions.swap(mDroppedSessions);
        applications.swap(mDroppedApps);
    }
    for (ISession* session : sessions) {
        DeleteSession(session);
    }
    for (SkypeApplication* application : applications) {
        delete application;
    }
}

void SessionManager::HandleSessionStateChanged(ISession* session, ISessionState* state) {
    ISessionGui* gui = session->GetGui();
    if (gui) {
        gui->CloseNotification();
        std::vector<ISessionState::PendingNotification> notifications;
        if (state) {
            state->GetPendingNotifications(notifications);
        }
        for (ISessionState::PendingNotification const& notification : notifications) {
            std::vector<NotificationButton> buttons;
            for (ISessionState::AvailableOperation const& action : notification.actions) {
                buttons.push_back({action.name, action.flags});
            }
            gui->ShowNotification(notification.title, notification.text, notification.colour, buttons);
        }
    }
    SessionsChanged(callimpl::EventVoidType());
}

// Reads the state through the session's reader lock: "SkypeEvent" may switch it meanwhile.
void SessionManager::DescribeSession(ISession& session, std::string& items) {
    bool show = false;
    std::string resource;
    std::string description;
    auto read = [&](ISessionState* state) {
        show = state && state->GetShowToUser();
        if (show) {
            resource = state->GetResourceId();
            description = state->GetDescription(false);
        }
    };
    session.ReadState(read);
    if (!show) {
        return;
    }
    std::string picture = GetAndConvertAvatar(*mClient, session.GetUserNameW(), nullptr, nullptr);
    if (picture.empty()) {
        picture = "res://Tolvane.dll/status" + resource;
    }
    // The name may be the peer's own words (his discovery), and the picture's path holds his handle.
    items += "<LI><IMG SRC='" + StringHelper::EscapeHtml(picture) + "'> <B>" +
             StringHelper::EscapeHtml(session.GetFullName()) + "</B>: " + description + "</LI>";
}

std::string SessionManager::GetCurrentStateDescription() {
    std::string items;
    {
        CriticalSectionLock lock(mLock);
        for (ISession* session : mSessions) {
            DescribeSession(*session, items);
        }
    }
    if (items.empty()) {
        return "There're no active connections.";
    }
    return "<B>Current connections:</B><UL>" + items + "</UL>";
}
