#pragma once

#include <map>
#include <string>
#include <vector>

#include "network/NetworkSequenceMerge.h"

// All messages under reassembly, by sequence number. Used by one thread.
class NetworkPartsBuffer {
public:
    // A chunk that never arrived.
    struct ExpiredPartInfo {
        int sequence;
        int part;
    };

    static constexpr unsigned long kDefaultExpireTimeout = 5000;

    // Adds a chunk; returns the whole message text when the chunk completed it, else "".
    std::string Add(NetworkDatagram chunk);
    // Removes the sequences older than the expiry time, reporting their missing parts in
    // ascending order when `expired` is given.
    void CheckExpired(std::vector<ExpiredPartInfo>* expired);
    void SetExpireTimeout(unsigned long timeoutMs) { mExpireTimeout = timeoutMs; }

private:
    std::map<int, NetworkSequenceMerge> mSequences;
    unsigned long mExpireTimeout = kDefaultExpireTimeout;
};
