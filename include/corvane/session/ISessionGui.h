#pragma once

#include <string>
#include <vector>

#include "foundation/Event.h"

class SessionQualityConfiguration;

// One button of a notification: its caption and a value the user interface may use.
struct NotificationButton {
    std::string caption;
    int flags = 0;  // 4 on the "Accept" of a desktop offer
};

// The user-interface module's face of one session; the session shares its ownership and
// drops it after its last state change. The library only calls it: from "SkypeEvent" for
// everything that reacts to the peer and for posted operations, from the user interface's own
// thread for an operation's action it ran there itself ("the operation's thread" below).
// Implementations must return quickly and must not wait for "SkypeEvent".
class ISessionGui {
public:
    virtual ~ISessionGui() = default;

    // A question or a note: title, text, colour (L"red", L"green" or empty) and buttons.
    // "SkypeEvent" or the operation's thread; the arguments are valid during the call only.
    virtual void ShowNotification(std::string const& title, std::string const& text,
                                  std::wstring const& colour,
                                  std::vector<NotificationButton> const& buttons) = 0;
    // Withdraws the question shown before. "SkypeEvent" or the operation's thread.
    virtual void CloseNotification() = 0;
    // Never called by the library.
    virtual void Reserved() {}
    // Lets the user edit `quality` (valid during the call): 0 accept the edited values, 1
    // decline, other values leave the question open. The operation's thread ("SkypeEvent" for
    // a posted one).
    virtual int EditQuality(SessionQualityConfiguration& quality) = 0;
    // A state is about to hand over to its successor. The thread that switches the state.
    virtual void OnStateLeaving() = 0;
    // Viewing starts at `quality` (valid during the call). "SkypeEvent".
    virtual void ShowRemoteDesktop(SessionQualityConfiguration& quality) = 0;
    // The peer's clipboard was set here; ours reached the peer. "SkypeEvent".
    virtual void OnClipboardReceived() = 0;
    virtual void OnClipboardDelivered() = 0;
    // Viewing ends; may come more than once. The thread that switches the state.
    virtual void HideRemoteDesktop() = 0;
    // True once the view exists. "SkypeEvent".
    virtual bool IsRemoteDesktopReady() = 0;
    // Shows or hides the session's status lines. The thread that switches the state.
    virtual void ShowStatus(bool show) = 0;

    // Raised by the user interface when a notification's button is pressed: the button's
    // index and a text the library does not use. Raise it on "SkypeEvent", most simply through
    // ISession::PostNotificationClick; the handlers may switch the state.
    EventN<int, std::string const&> NotificationClicked;
};
