#pragma once

#include "CorvaneApi.h"

#include <string>
#include <vector>

#include "foundation/CriticalSection.h"
#include "foundation/Event.h"
#include "skype/ISkypeClient.h"

class Configuration;
class ISession;
class ISessionGuiManager;
class ISessionState;
class SkypeApplication;

// Runs the library for the user-interface module: on the first successful attach it
// registers the two applications and keeps a session for every contact and for the user's own
// account; it relays state changes to the sessions' user interfaces and gives the HTML status
// page. Build and destroy it on the user interface's thread; the messenger's events reach it
// on "SkypeEvent".
class CORVANE_API SessionManager {
public:
    // None is owned; the client and the user-interface manager must outlive the manager.
    // SkypeError "Invalid Client pointer" or "Invalid GUI pointer" for a null one.
    SessionManager(ISkypeClient* client, ISessionGuiManager* guiManager, Configuration* config);
    ~SessionManager();
    SessionManager(SessionManager const&) = delete;
    SessionManager& operator=(SessionManager const&) = delete;

    // The client given to the constructor. Any thread.
    ISkypeClient* GetSkype() const { return mClient; }
    // A copy of the list; the sessions stay the manager's. Any thread.
    std::vector<ISession*> GetSessions() const;
    // The HTML status page of the listed sessions. The user interface's thread.
    std::string GetCurrentStateDescription();
    // The installed applications (null before attachment), for a host that watches the
    // traffic beside the sessions. Read them on "SkypeEvent" or once attached.
    SkypeApplication* GetControlApplication() const { return mControlApp; }
    SkypeApplication* GetScreenApplication() const { return mScreenApp; }

    // Raised on "SkypeEvent" after a state change was relayed and after log-out.
    Event<callimpl::EventVoidType> SessionsChanged;

protected:
    void RegisterSession(ISession* session);
    void UnregisterSession(ISession* session);
    // Drops every session and both applications. On "SkypeEvent" they are deleted at the next
    // idle tick, since a handler of theirs may be running further up the stack.
    void ClearSessions();
    void HandleFriendsList(std::vector<std::string> const& handles);
    void HandleUserOnline(std::string const& user, ISkypeClient::UserStatus status);
    void HandleSessionStateChanged(ISession* session, ISessionState* state);

private:
    void Install();
    void OnSkypeAttached(ISkypeClient& client);
    void OnLoggedOut();
    void StartSession(std::string const& user);
    bool HasSession(std::string const& user) const;
    // Deletes what ClearSessions dropped.
    void DeleteDropped();
    void HandleIdle();
    static void DeleteSession(ISession* session);
    // Appends the session's list item when its state is shown to the user.
    void DescribeSession(ISession& session, std::string& items);

    Configuration* mConfig;                       // not owned
    ISkypeClient* mClient;                        // not owned
    ISessionGuiManager* mGuiManager;              // not owned
    SkypeApplication* mControlApp = nullptr;      // owned; null until installed
    SkypeApplication* mScreenApp = nullptr;       // owned; null until installed
    std::vector<ISession*> mSessions;             // owned
    mutable CriticalSection mLock;                // guards mSessions and the dropped lists
    std::vector<ISession*> mDroppedSessions;      // owned, waiting for the idle tick
    std::vector<SkypeApplication*> mDroppedApps;  // owned, waiting for the idle tick
};
