#pragma once

#include <windows.h>

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
    // True when more than `timeoutMs` have passed since the first chunk arrived.
    bool IsExpired(unsigned long timeoutMs) const;
    // Appends the part numbers 1..count that have not arrived.
    void GetIncompleteParts(std::vector<int>& parts) const;

private:
    unsigned int GetPartsCount() const;

    std::map<unsigned int, NetworkDatagram> mParts;
    DWORD mCreated;
};
