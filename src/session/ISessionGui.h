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

// The user-interface module's face of one session. The library only calls it: from
// "SkypeEvent" for everything that reacts to the peer, from the user interface's own thread
// for operations it started. Implementations must return quickly and must not wait for
// "SkypeEvent".
class ISessionGui {
public:
    virtual ~ISessionGui() = default;

    // A question or a note: title, text, colour (L"red", L"green" or empty) and buttons.
    virtual void ShowNotification(std::string const& title, std::string const& text,
                                  std::wstring const& colour,
                                  std::vector<NotificationButton> const& buttons) = 0;
    // Withdraws the question shown before.
    virtual void CloseNotification() = 0;
    // Never called by the library.
    virtual void Reserved() {}
    // Lets the user edit `quality`: 0 accept the edited values, 1 decline, other values leave
    // the question open.
    virtual int EditQuality(SessionQualityConfiguration& quality) = 0;
    // A state is about to hand over to its successor.
    virtual void OnStateLeaving() = 0;
    // Viewing starts at `quality`.
    virtual void ShowRemoteDesktop(SessionQualityConfiguration& quality) = 0;
    virtual void OnClipboardReceived() = 0;
    virtual void OnClipboardDelivered() = 0;
    // Viewing ends; may come more than once.
    virtual void HideRemoteDesktop() = 0;
    // True once the view exists.
    virtual bool IsRemoteDesktopReady() = 0;
    virtual void ShowStatus(bool show) = 0;

    // Raised by the user interface when a notification's button is pressed: the button's
    // index and a text the library does not use.
    EventN<int, std::string const&> NotificationClicked;
};
