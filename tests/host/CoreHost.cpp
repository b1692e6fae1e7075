// A host that reaches the library through Core.h alone: the messenger client, an application,
// a transport on one of its streams and an endpoint with a visitor. It is only compiled, so
// that a class a host needs cannot drop out of the umbrella header unnoticed.
#include "Core.h"

namespace {

class HostVisitor : public NetworkVisitor {
public:
    void Handle(MouseMoveNetMsg const& message) override { mLast = message.GetMousePos(); }

private:
    tagPOINT mLast = {0, 0};
};

}  // namespace

void RunHostOnce(std::string const& contact) {
    SkypeClient client;
    client.Attach();
    SkypeApplication application(&client, "corvane");
    application.Connect(contact);
    SkypeReliableNetworkTransport transport(&application, contact);
    transport.SetExpireTimeout(NetworkPartsBuffer::kDefaultExpireTimeout);
    NetworkProtocol protocol(&transport);
    HostVisitor visitor;
    protocol.RegisterVisitor(&visitor);
    protocol.EnableDump(contact);
    protocol.Send(MouseMoveNetMsg(tagPOINT{1, 2}));
    protocol.Send(DiscoveryNetMsg(true));
    FpsCalculator sent = protocol.GetSendFps();
    CORVANE_LOG("sent " << sent.GetTotal() << " as " << client.GetCurrentUser());
    protocol.UnregisterVisitor(&visitor);
}
