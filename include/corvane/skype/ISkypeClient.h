#pragma once

#include "CorvaneApi.h"

#include <memory>
#include <string>
#include <vector>

#include "foundation/Event.h"
#include "skype/ISkypeEvents.h"

class SkypeCommand;

// The library's connection to the messenger: commands with replies, and notifications turned
// into events. Every event is raised on the client's notification thread ("SkypeEvent").
// Commands that wait for a reply may be sent from any thread but the client window's own.
class CORVANE_API ISkypeClient : public ISkypeEvents {
public:
    enum AttachStatus {
        AttachNone = 0,  // initial
        AttachSuccess = 1,
        AttachPending = 2,  // the messenger asks its user for permission
        AttachRefused = 3,
        AttachNotAvailable = 4,  // no usable messenger, or its user logged out
    };

    enum UserStatus {
        UserUnknown = -1,
        UserOffline = 0,
        UserOnline = 1,
        UserAway = 2,
        UserNotAvailable = 3,
        UserDoNotDisturb = 4,
        UserInvisible = 5,
        UserLoggedOut = 6,
    };

    struct UserInfo {
        int online = -1;         // -1 the query failed, 0 not online, 1 online
        std::string fullName;    // empty when unknown
        std::string avatarPath;  // empty when there is none
    };

    virtual ~ISkypeClient() = default;

    // Sends a text as it is; nothing is sent (only logged) while not attached.
    virtual void Send(std::string const& text) = 0;
    // Sends the command and waits for its reply. Raises SkypeError "Command timeout: " + text
    // when none came within its time-out, "Command error: " + reply for an "ERROR" reply.
    virtual void Send(SkypeCommand& command) = 0;
    // Starts looking for the messenger until attached.
    virtual void Attach() = 0;
    virtual AttachStatus GetAttachStatus() = 0;
    // The user's online flag and full name, and with `avatar` the file the messenger wrote
    // the user's picture to.
    virtual UserInfo GetUserInfo(std::string const& user, bool avatar) = 0;
    // "logged out" while not attached, "<unknown>" while the handle is not known, else the handle.
    virtual std::string GetCurrentUser() const = 0;
    // A menu entry in the messenger; the library's own client does nothing.
    virtual void CreateMenu(std::string const& id, std::string const& caption, std::string const& hint,
                            std::string const& target) {}

    // Sends `command` with the time-out 1000 ms and gives the reply without its id. With
    // `strip`, a reply at least as long as the command loses the command's length of
    // characters and is trimmed. Raises the SkypeErrors of Send(SkypeCommand&).
    std::string SendCommand(std::string const& command, bool strip);
    // Sends `command` and waits up to `timeout` ms; raises SkypeError "Unexpected response"
    // when the reply is not exactly `expected`, and the SkypeErrors of Send(SkypeCommand&).
    void Send(std::string const& command, std::string const& expected, int timeout);
    // Appends the user's contacts to `friends`.
    void GetFriends(std::vector<std::string>& friends);

    // The status word's value; UserUnknown for a word that is not one.
    static UserStatus ParseUserStatus(std::string const& word);

    // A contact's online status changed.
    Event2<std::string const&, UserStatus> OnUserStatus;
    // The notification thread woke: at least every 50 ms, and before every batch of notifications.
    Event0 OnIdle;
    // The attach status changed; handlers read GetAttachStatus().
    Event<ISkypeClient&> OnAttach;
    // The current user's handle became known.
    Event<std::string> OnCurrentUser;
    // The messenger's user logged out (or the messenger went away).
    Event0 OnLogout;

protected:
    // The user's handle became known.
    virtual void DoCurrentUser(std::string const& user) {}
    // The messenger's connection status; "LOGGEDOUT" means logout.
    virtual void DoConnectionStatus(std::string const& status) {}

    // Parses one notification and raises its event. Notification thread only. Raises
    // SkypeError "Invalid name/id pair: " + designator for a stream without "user:id".
    void ProcessSkypeResponse(std::string const& text);
};

// The library's own messenger client, over the desktop API's window messages: a window and
// the notification thread "SkypeEvent" of its own. A zero message id means the API's own
// registered message; other ids are for a stand-in messenger. Call Attach() to start looking
// for the messenger. Build and destroy it on the user interface's thread, never on one of the
// client's own threads or in one of its handlers; the caller owns it, and it must outlive the
// SessionManager built on it. Raises SkypeError when the window cannot be made.
CORVANE_API std::unique_ptr<ISkypeClient> CreateSkypeClient(unsigned int discoverMessage = 0,
                                                            unsigned int attachMessage = 0);
