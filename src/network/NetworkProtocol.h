#pragma once

#include <exception>
#include <string>

#include "foundation/CriticalSection.h"
#include "foundation/Event.h"
#include "foundation/FpsCalculator.h"
#include "network/PacketDumper.h"

class NetworkMessage;
class NetworkVisitor;
class TextNetworkTransport;

// A session's endpoint on one stream: frames and sends messages through its transport, turns
// received texts back into messages and routes them to its visitors, counts the characters
// both ways, and dumps the traffic when asked. Send may be called from any thread; received
// messages arrive on the thread that delivers the transport's texts. A visitor may unregister
// itself or others, or delete the endpoint, while it handles a message.
class NetworkProtocol {
public:
    // `transport` (may be null) is not owned and must outlive its attachment.
    explicit NetworkProtocol(TextNetworkTransport* transport = nullptr);
    virtual ~NetworkProtocol();
    NetworkProtocol(NetworkProtocol const&) = delete;
    NetworkProtocol& operator=(NetworkProtocol const&) = delete;

    // Detaches from the current transport (if any) and attaches to `transport` (may be null).
    void SetTransport(TextNetworkTransport* transport);
    // Raises NetworkError "Network transport not set" without a transport.
    void Send(NetworkMessage const& message);

    // Visitors are not owned; one registered twice receives every message twice. Any thread;
    // a visitor registered while a message is being routed first sees the next message.
    void RegisterVisitor(NetworkVisitor* visitor);
    // Removes the first registration; raises SkypeError for a visitor that is not registered.
    // Any thread; a visitor unregistered while a message is being routed is not called for it
    // any more.
    void UnregisterVisitor(NetworkVisitor* visitor);

    // Dumps every sent and received text under the dump folder `folder`.
    void EnableDump(std::string const& folder);

    // Copies of the character counters, for display from any thread.
    FpsCalculator GetSendFps() const;
    FpsCalculator GetReceiveFps() const;

protected:
    // Handles one received message text with the sequence the transport reported.
    void OnResponse(char const* text, int sequence);
    // A hook for derived endpoints; never called here.
    virtual void OnMessageFailure(std::string const& text, std::exception const& error) {}

private:
    TextNetworkTransport* mTransport = nullptr;  // not owned
    Event<NetworkMessage&> mVisitors;            // routes to NetworkVisitor::Visit; visitors not owned
    PacketDumper mDumper;
    mutable CriticalSection mCountersLock;  // senders on several threads, readers on any
    FpsCalculator mSendFps;
    FpsCalculator mReceiveFps;
};
