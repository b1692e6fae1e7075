#pragma once

#include <exception>
#include <string>
#include <vector>

#include "foundation/FpsCalculator.h"
#include "network/PacketDumper.h"

class NetworkMessage;
class NetworkVisitor;
class TextNetworkTransport;

// A session's endpoint on one stream: frames and sends messages through its transport, turns
// received texts back into messages and routes them to its visitors, counts the characters
// both ways, and dumps the traffic when asked. Send may be called from any thread; received
// messages arrive on the thread that delivers the transport's texts.
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

    // Visitors are not owned; one registered twice receives every message twice.
    void RegisterVisitor(NetworkVisitor* visitor);
    // Removes the first registration; raises SkypeError for a visitor that is not registered.
    void UnregisterVisitor(NetworkVisitor* visitor);

    // Dumps every sent and received text under the dump folder `folder`.
    void EnableDump(std::string const& folder);

    FpsCalculator const& GetSendFps() const { return mSendFps; }
    FpsCalculator const& GetReceiveFps() const { return mReceiveFps; }

protected:
    // Handles one received message text with the sequence the transport reported.
    void OnResponse(char const* text, int sequence);
    // A hook for derived endpoints; never called here.
    virtual void OnMessageFailure(std::string const& text, std::exception const& error) {}

private:
    TextNetworkTransport* mTransport = nullptr;  // not owned
    std::vector<NetworkVisitor*> mVisitors;      // not owned
    PacketDumper mDumper;
    FpsCalculator mSendFps;
    FpsCalculator mReceiveFps;
};
