#pragma once

#include <windows.h>

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "network/NetworkDatagram.h"

// The chunks of one message under reassembly, by part number.
class NetworkSequenceMerge {
public:
    NetworkSequenceMerge();

    // Raises NetworkMessageFormatError for a repeated part or a count that differs from the
    // count of the parts already held.
    void Add(NetworkDatagram chunk);
    bool IsComplete() const;
    // The data of all parts in ascending part order.
    std::string GetAllText() const;
    // True when more than `timeoutMs` have passed since the last chunk arrived: a slow link
    // keeps a message alive as long as its chunks keep coming.
    bool IsExpired(unsigned long timeoutMs) const;
    // Appends the part numbers 1..count that have not arrived.
    void GetIncompleteParts(std::vector<int>& parts) const;
    // How many parts have not arrived, and the lowest of them (0 when none is missing).
    unsigned int GetMissingCount() const;
    unsigned int GetFirstMissingPart() const;
    // The data held plus a fixed cost per chunk, so that tiny chunks count too.
    std::size_t GetHeldBytes() const { return mHeldBytes; }

    static constexpr std::size_t kChunkOverhead = 128;

private:
    unsigned int GetPartsCount() const;

    std::map<unsigned int, NetworkDatagram> mParts;
    DWORD mLastChunk;
    std::size_t mHeldBytes = 0;
};
