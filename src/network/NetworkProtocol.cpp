#include "network/NetworkProtocol.h"

#include <cstring>
#include <memory>

#include "foundation/CorvaneLogging.h"
#include "foundation/Errors.h"
#include "foundation/TypeName.h"
#include "network/NetworkMessage.h"
#include "network/NetworkVisitor.h"
#include "network/TextNetworkTransport.h"

namespace {
constexpr std::size_t kLoggedCharacters = 80;
}

NetworkProtocol::NetworkProtocol(TextNetworkTransport* transport) {
    SetTransport(transport);
}

NetworkProtocol::~NetworkProtocol() {
    SetTransport(nullptr);
}

void NetworkProtocol::SetTransport(TextNetworkTransport* transport) {
    if (mTransport) {
        mTransport->SetDumper(nullptr);
        mTransport->OnTextReceived.Remove(MakeDelegate<&NetworkProtocol::OnResponse>(this));
    }
    mTransport = transport;
    if (mTransport) {
        mTransport->SetDumper(&mDumper);
        mTransport->OnTextReceived.Add(MakeDelegate<&NetworkProtocol::OnResponse>(this));
    }
}

void NetworkProtocol::Send(NetworkMessage const& message) {
    if (!mTransport) {
        Raise(NetworkError("Network transport not set"));
    }
    std::string text = message.ToString();
    CORVANE_LOG("NET SEND MSG (" << TypeName(typeid(message)) << "): " << text.substr(0, kLoggedCharacters));
    {
        CriticalSectionLock lock(mCountersLock);
        mSendFps.Add(static_cast<int>(text.size()));
    }
    mTransport->Send(text);
}

void NetworkProtocol::OnResponse(char const* text, int sequence) {
    if (!text || !*text) {
        return;
    }
    {
        CriticalSectionLock lock(mCountersLock);
        mReceiveFps.Add(static_cast<int>(strlen(text)));
    }
    int id = 0;
    char const* data = NetworkMessage::ParseResponse(text, id);
    std::unique_ptr<NetworkMessage> message(NetworkMessage::ParseFactory(id, data));
    CORVANE_LOG("NET RECV MSG (" << TypeName(typeid(*message))
                                 << "): " << std::string(data, strnlen(data, kLoggedCharacters)));
    if (mDumper.IsEnabled()) {
        mDumper.Dump(PacketDumper::kReceived, PacketDumper::kMessage, data, strlen(data), sequence, true);
    }
    // The last use of this object: a visitor may delete the endpoint.
    mVisitors(*message);
}

void NetworkProtocol::RegisterVisitor(NetworkVisitor* visitor) {
    mVisitors.Add(MakeDelegate<&NetworkVisitor::Visit>(visitor));
}

void NetworkProtocol::UnregisterVisitor(NetworkVisitor* visitor) {
    auto delegate = MakeDelegate<&NetworkVisitor::Visit>(visitor);
    if (!mVisitors.Contains(delegate.GetMemento())) {
        Raise(SkypeError("Trying to remove network visitor that wasn't added yet"));
    }
    mVisitors.Remove(delegate);
}

FpsCalculator NetworkProtocol::GetSendFps() const {
    CriticalSectionLock lock(mCountersLock);
    return mSendFps;
}

FpsCalculator NetworkProtocol::GetReceiveFps() const {
    CriticalSectionLock lock(mCountersLock);
    return mReceiveFps;
}

void NetworkVisitor::Visit(NetworkMessage& message) {
    message.Route(*this);
}

void NetworkProtocol::EnableDump(std::string const& folder) {
    mDumper.Enable(folder);
}
