#pragma once

#include <string>
#include <vector>

#include "network/ControlMessages.h"
#include "session/ISessionState.h"
#include "session/SessionTable.h"

class Configuration;
class ISessionGui;
class SessionQualityConfiguration;

// The common base of the states: the session's context and the helpers every state uses.
// A state is owned by its session from ChangeState on; an operation or handler that switched
// the state must not touch the state's members afterwards.
class SessionState : public ISessionState {
public:
    // Stops listening to notification clicks.
    ~SessionState() override;

    // Takes the session and, from it, the configuration and the user interface. The session
    // calls it before the state starts.
    void SetupNewState(ISession* session);

    // Routes a peer message to this state's handler only where the session table says the
    // state takes it; the rest is logged and dropped. "SkypeEvent".
    void Visit(NetworkMessage& message) override;
    // This state's row of the session table.
    virtual SessionTable::State TableState() const = 0;

    // Our user's stop, carried out by the session when it is idle: moves on as the session
    // table says. "SkypeEvent".
    void Stop() { Move(SessionTable::Local::Stop); }

    // The base list: "Show status".
    void GetAvailableOperations(std::vector<AvailableOperation>& operations) override;
    // "Remote user disconnected." in red, then a new InitialState. "SkypeEvent".
    void OnConnectFailure() override;

    // Runs the action `index` of the state's single pending notification; otherwise nothing.
    // Runs on the caller's thread.
    void PerformNotificationAction(int index, std::string const& unused);
    // The user interface's ShowStatus(false). User interface's thread.
    void ShowStatus();

protected:
    // Moves the session on as the session table says for the event in this state, to a new
    // state working at `quality` where it has one; an event the table does not move on is
    // logged and changes nothing. The state must not touch its members after a move.
    void Move(SessionTable::Local event, SessionQualityConfiguration const& quality);
    void Move(SessionTable::Local event);
    void Move(SessionTable::Peer message, SessionQualityConfiguration const& quality);
    void Move(SessionTable::Peer message);
    // A note with the contact's name as title and no buttons.
    void ShowRawNotification(std::string const& text, std::wstring const& colour);
    // Sends through the session; false when the channel is not up or the send failed.
    bool Send(NetworkMessage const& message);
    // Sends an abort ("ST").
    void SendAbort();
    AvailableOperation Operation(std::string const& name, int iconId, int flags, Delegate0 action);

    // Subscribes or removes OnNotificationClicked on the user interface's NotificationClicked.
    void ListenToNotificationClicks(bool on);
    // The "Display" lines of a viewing or sharing quality.
    static void AppendQualityLines(SessionQualityConfiguration const& quality,
                                   std::vector<SessionProperty>& properties);
    // The width and height of the virtual screen, else of the primary screen.
    static tagSIZE DesktopSize();

    ISession* mSession = nullptr;      // not owned
    Configuration* mConfig = nullptr;  // not owned
    ISessionGui* mGui = nullptr;       // not owned

    // The user interface hears OnStateLeaving, then the session switches. Takes `next`. The
    // states move through Move; this is the step beneath it.
    void ChangeState(SessionState* next);

private:
    template <class Event>
    void MoveOn(Event event, SessionQualityConfiguration const& quality);

    void OnNotificationClicked(int index, std::string const& text);
    bool mListening = false;
};
