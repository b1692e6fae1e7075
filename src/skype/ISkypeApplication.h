#pragma once

#include <string>

#include "foundation/Event.h"

// One named application-to-application channel of the messenger: streams to contacts, written
// and read as text. Events are raised on the messenger client's notification thread.
class ISkypeApplication {
public:
    // Measured throughput toward a user, bytes per second (0 when unknown or not connected).
    struct BandwidthInfo {
        int bytesPerSecond = 0;
    };

    // Asks the messenger to open a stream to `user`; the stream is reported later.
    virtual void Connect(std::string const& user) = 0;
    virtual void Disconnect(std::string const& user) = 0;
    // Writes `text` (no NUL bytes) to the user's stream; returns once the messenger accepted it.
    virtual void Write(std::string const& user, std::string const& text) = 0;
    // Sends `text` as a datagram on the user's stream; returns at once.
    virtual void SendDatagram(std::string const& user, std::string const& text) = 0;
    virtual BandwidthInfo GetBandwidthInfo(std::string const& user) = 0;
    virtual bool IsConnected(std::string const& user) = 0;
    // Bytes of the user's stream still waiting in the messenger's send buffer.
    virtual int GetSendingSize(std::string const& user) = 0;

    // A user handle and the received text (valid only during the call).
    Event2<std::string const&, char const*> OnDataReceived;
    // The user's pending outgoing data fell below the flow-control threshold.
    Event2<std::string const&, ISkypeApplication*> OnSendingFinished;
    // A stream to the user is open.
    Event2<std::string const&, ISkypeApplication*> OnConnectSuccess;
    // The user's stream is gone.
    Event2<std::string const&, ISkypeApplication*> OnConnectFailure;

protected:
    // Applications are deleted through their own class, never through this interface.
    ~ISkypeApplication() = default;
};
