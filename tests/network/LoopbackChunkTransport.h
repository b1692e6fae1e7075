#pragma once

#include <string>

#include "network/ChunkNetworkTransport.h"

// A chunk transport whose written chunks come straight back into its own receiving side.
class LoopbackChunkTransport : public ChunkNetworkTransport {
public:
    // Takes `frame` as received from the peer.
    void Receive(char const* frame) { OnReceiveChunk(frame); }

protected:
    void SendChunk(std::string const& frame) override { OnReceiveChunk(frame.c_str()); }
};
