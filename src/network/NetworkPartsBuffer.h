#pragma once

#include <cstddef>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "network/NetworkSequenceMerge.h"

// All messages under reassembly, by sequence number. Used by one thread.
//
// What a peer can leave pending is bounded: at most kMaxSequences messages and kMaxHeldBytes
// of held chunks; beyond either, the messages that waited longest for a chunk are dropped
// first. Sequences are kept in the order of their last chunk, so finding the expired ones
// costs only what is dropped.
class NetworkPartsBuffer {
public:
    // A chunk that never arrived.
    struct ExpiredPartInfo {
        int sequence;
        int part;
    };

    static constexpr unsigned long kDefaultExpireTimeout = 5000;
    static constexpr std::size_t kMaxSequences = 64;
    static constexpr std::size_t kMaxHeldBytes = 128u * 1024 * 1024;

    NetworkPartsBuffer() = default;
    NetworkPartsBuffer(NetworkPartsBuffer const&) = delete;
    NetworkPartsBuffer& operator=(NetworkPartsBuffer const&) = delete;

    // Adds a chunk; returns the whole message text when the chunk completed it, else "". A
    // chunk that raises leaves the buffer as it was.
    std::string Add(NetworkDatagram chunk);
    // Removes the sequences that have had no chunk for longer than the expiry time, each
    // logged as one line. With `expired`, their missing parts are also reported, in ascending
    // sequence and part order (that list costs one entry per missing part: pass null unless
    // the parts are wanted).
    void CheckExpired(std::vector<ExpiredPartInfo>* expired);
    void SetExpireTimeout(unsigned long timeoutMs) { mExpireTimeout = timeoutMs; }
    // Other bounds than kMaxSequences and kMaxHeldBytes (for tests); they apply from the next Add.
    void SetLimits(std::size_t maxSequences, std::size_t maxHeldBytes) {
        mMaxSequences = maxSequences;
        mMaxHeldBytes = maxHeldBytes;
    }

    std::size_t GetSequenceCount() const { return mSequences.size(); }
    std::size_t GetHeldBytes() const { return mHeldBytes; }

private:
    struct Pending {
        NetworkSequenceMerge merge;
        std::list<int>::iterator idle;  // its place in mIdleOrder
    };
    using Sequences = std::map<int, Pending>;

    Sequences::iterator FindOrCreate(int sequence);
    void Drop(Sequences::iterator pending, char const* reason);
    void DropIdlestBeyondLimits(int keep);

    Sequences mSequences;
    std::list<int> mIdleOrder;  // sequences, the one whose last chunk is oldest first
    std::size_t mHeldBytes = 0;
    unsigned long mExpireTimeout = kDefaultExpireTimeout;
    std::size_t mMaxSequences = kMaxSequences;
    std::size_t mMaxHeldBytes = kMaxHeldBytes;
};
