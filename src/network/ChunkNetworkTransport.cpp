#include "network/ChunkNetworkTransport.h"

#include <cstring>
#include <stdexcept>
#include <vector>

#include "foundation/CorvaneLogging.h"
#include "foundation/Errors.h"
#include "foundation/Timer.h"
#include "network/NetworkMessage.h"
#include "network/PacketDumper.h"

bool ChunkNetworkTransport::IsDumping() const {
    return mDumper && mDumper->IsEnabled();
}

void ChunkNetworkTransport::Send(std::string const& text) {
    if (mChunkSize <= 0) {
        Raise(std::runtime_error("Division by zero in GetPartsCount"));
    }
    std::size_t const chunkSize = static_cast<std::size_t>(mChunkSize);
    int const count = static_cast<int>((text.size() + chunkSize - 1) / chunkSize);
    int const sequence = static_cast<int>(++mSequence);
    if (IsDumping()) {
        mDumper->Dump(PacketDumper::kSent, PacketDumper::kMessage, text.data(), text.size(), sequence, true);
    }

    Timer timer(true);
    std::vector<std::string> frames;
    frames.reserve(count);
    std::string chunk;  // one buffer for every chunk text: large fresh blocks are slow to touch
    for (int part = 1; part <= count; ++part) {
        CORVANE_LOG("NET SEND MSG part " << part << "/" << count << " seq " << sequence);
        std::size_t const offset = (part - 1) * chunkSize;
        chunk.assign(std::to_string(sequence)).append(1, ':').append(std::to_string(part)).append(1, ':');
        chunk.append(std::to_string(count)).append(1, ':').append(text, offset, chunkSize);
        frames.push_back(NetworkMessage::ToString(kChunkId, chunk));
        if (IsDumping()) {
            mDumper->Dump(PacketDumper::kSent, PacketDumper::kPacket, frames.back().data(),
                          frames.back().size(), sequence, true);
        }
        ChunkPrepared(sequence, part, frames.back());
    }
    CORVANE_LOG("Total send " << count << " chunks preparation time: " << timer.GetTimeInMs());

    timer.StartTimer();
    CriticalSectionLock lock(mSendLock);
    for (std::string const& frame : frames) {
        SendChunk(frame);
    }
    CORVANE_LOG("Total send " << count << " chunks time: " << timer.GetTimeInMs());
}

void ChunkNetworkTransport::OnReceiveChunk(char const* frame) {
    // A handler of OnTextReceived may delete this transport: past it, members are touched
    // only while the transport lives.
    LifetimeGuard::Witness const alive = mLifetime.Watch();
    int sequence = -1;
    try {
        int id = 0;
        char const* data = NetworkMessage::ParseResponse(frame, id);
        sequence = HandleMessageById(id, data);
    } catch (...) {
        if (!alive.Gone()) {
            DumpReceived(frame, -1, false);
        }
        throw;
    }
    if (!alive.Gone()) {
        DumpReceived(frame, sequence, true);
    }
}

void ChunkNetworkTransport::DumpReceived(char const* frame, int sequence, bool good) {
    if (IsDumping()) {
        mDumper->Dump(PacketDumper::kReceived, PacketDumper::kPacket, frame, strlen(frame), sequence, good);
    }
}

int ChunkNetworkTransport::HandleMessageById(int id, char const* data) {
    if (id != kChunkId) {
        return -1;
    }
    NetworkDatagram chunk(data);
    int const sequence = chunk.GetSequence();
    mPartsBuffer.CheckExpired(nullptr);
    std::string text = mPartsBuffer.Add(std::move(chunk));
    if (!text.empty()) {
        OnTextReceived(text.c_str(), sequence);  // the last use of this object
    }
    return sequence;
}
