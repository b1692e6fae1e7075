#pragma once

class RequestRemoteDesktopNetMsg;
class TestConnectNetMsg;
class ShowMyDesktopNetMsg;
class ScreenChangeNetMsg;
class WindowEventNetMsg;
class DiscoveryNetMsg;
class ClipboardNetMsg;
class DesktopResolutionMsg;
class ClipboardRequestNetMsg;
class ClipboardAcknowledgeNetMsg;
class MouseMoveNetMsg;
class NetworkMessage;

// Receives routed messages: a handler overrides the Handle of each message it cares about;
// the others do nothing. The message is valid for the call only.
class NetworkVisitor {
public:
    virtual ~NetworkVisitor() = default;

    // Passes `message` to the Handle of its class (how an endpoint routes to its visitors). A
    // visitor that filters what reaches its handlers overrides it.
    virtual void Visit(NetworkMessage& message);

    virtual void Handle(RequestRemoteDesktopNetMsg const&) {}
    virtual void Handle(TestConnectNetMsg const&) {}
    virtual void Handle(ShowMyDesktopNetMsg const&) {}
    virtual void Handle(ScreenChangeNetMsg const&) {}
    virtual void Handle(WindowEventNetMsg const&) {}
    virtual void Handle(DiscoveryNetMsg const&) {}
    virtual void Handle(ClipboardNetMsg const&) {}
    virtual void Handle(DesktopResolutionMsg const&) {}
    virtual void Handle(ClipboardRequestNetMsg const&) {}
    virtual void Handle(ClipboardAcknowledgeNetMsg const&) {}
    virtual void Handle(MouseMoveNetMsg const&) {}
};
