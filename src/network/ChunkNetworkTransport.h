#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "foundation/CriticalSection.h"
#include "foundation/LifetimeGuard.h"
#include "network/NetworkPartsBuffer.h"
#include "network/TextNetworkTransport.h"

// Cuts every message into numbered chunks of at most the chunk size, frames each under id 99
// and writes them in order; on the receiving side collects the chunks of each sequence and
// raises OnTextReceived with the whole text. Send may be called from several threads;
// receiving happens on one thread.
class ChunkNetworkTransport : public TextNetworkTransport {
public:
    static constexpr int kDefaultChunkSize = 65000;
    static constexpr int kChunkId = 99;

    ChunkNetworkTransport() = default;

    void Send(std::string const& text) override;
    void SetDumper(PacketDumper* dumper) override { mDumper = dumper; }
    void SetChunkSize(int size) { mChunkSize = size; }
    // How long an incomplete message waits for its next chunk (5000 ms by default).
    void SetExpireTimeout(unsigned long timeoutMs) { mPartsBuffer.SetExpireTimeout(timeoutMs); }

protected:
    // Writes one framed chunk to the channel.
    virtual void SendChunk(std::string const& frame) = 0;
    // Called for every chunk right after it is framed.
    virtual void ChunkPrepared(int sequence, int part, std::string const& frame) {}
    // Handles one received frame's data; returns the chunk's sequence, or -1 for a frame that
    // is not a chunk (ignored). Incomplete messages whose chunks stopped coming for the expiry
    // time are dropped first. Raising OnTextReceived is its last use of the object: a handler
    // may delete the transport.
    virtual int HandleMessageById(int id, char const* data);

    // Handles one received frame; raises for a malformed one (after dumping it as bad). Called
    // on the receiving thread; the transport may be deleted by a handler during the call.
    void OnReceiveChunk(char const* frame);

private:
    bool IsDumping() const;
    void DumpReceived(char const* frame, int sequence, bool good);

    NetworkPartsBuffer mPartsBuffer;
    int mChunkSize = kDefaultChunkSize;
    std::atomic<unsigned int> mSequence{0};
    CriticalSection mSendLock;
    PacketDumper* mDumper = nullptr;  // not owned
    LifetimeGuard mLifetime;          // tells a handler-raising method that its transport is gone
};
