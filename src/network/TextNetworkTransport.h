#pragma once

#include <string>

#include "foundation/Event.h"

class PacketDumper;

// A channel that carries whole message texts to the peer and back.
class TextNetworkTransport {
public:
    virtual ~TextNetworkTransport() = default;

    // Sends one whole message text; raises when the channel refuses it.
    virtual void Send(std::string const& text) = 0;
    // Gives the transport a dumper for the texts it moves (not owned; may be null).
    virtual void SetDumper(PacketDumper* dumper) {}

    // A received message's whole text and its sequence number. A handler may delete the
    // transport.
    Event2<char const*, int> OnTextReceived;
};
