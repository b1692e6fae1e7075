#include "network/NetworkPartsBuffer.h"

#include <algorithm>

#include "foundation/CorvaneLogging.h"

NetworkPartsBuffer::Sequences::iterator NetworkPartsBuffer::FindOrCreate(int sequence) {
    auto found = mSequences.find(sequence);
    if (found != mSequences.end()) {
        return found;
    }
    found = mSequences.emplace(sequence, Pending()).first;
    found->second.idle = mIdleOrder.insert(mIdleOrder.end(), sequence);
    return found;
}

std::string NetworkPartsBuffer::Add(NetworkDatagram chunk) {
    int const sequence = chunk.GetSequence();
    auto pending = FindOrCreate(sequence);
    NetworkSequenceMerge& merge = pending->second.merge;
    std::size_t const before = merge.GetHeldBytes();
    try {
        merge.Add(std::move(chunk));
    } catch (...) {
        if (before == 0) {
            mIdleOrder.erase(pending->second.idle);
            mSequences.erase(pending);
        }
        throw;
    }
    mIdleOrder.splice(mIdleOrder.end(), mIdleOrder, pending->second.idle);
    mHeldBytes += merge.GetHeldBytes() - before;
    if (merge.IsComplete()) {
        std::string text = merge.GetAllText();
        mHeldBytes -= merge.GetHeldBytes();
        mIdleOrder.erase(pending->second.idle);
        mSequences.erase(pending);
        return text;
    }
    DropIdlestBeyondLimits(sequence);
    return std::string();
}

// The sequence that just grew is dropped last: only when it alone breaks the byte limit.
void NetworkPartsBuffer::DropIdlestBeyondLimits(int keep) {
    while (mSequences.size() > mMaxSequences || mHeldBytes > mMaxHeldBytes) {
        int idlest = mIdleOrder.front();
        if (idlest == keep && mSequences.size() > 1) {
            idlest = *std::next(mIdleOrder.begin());
        }
        Drop(mSequences.find(idlest), "too much pending");
    }
}

void NetworkPartsBuffer::Drop(Sequences::iterator pending, char const* reason) {
    NetworkSequenceMerge const& merge = pending->second.merge;
    CORVANE_LOG("Dropped incomplete message seq " << pending->first << ": " << merge.GetMissingCount()
                                                  << " part(s) never arrived, first missing part "
                                                  << merge.GetFirstMissingPart() << " (" << reason << ")");
    mHeldBytes -= merge.GetHeldBytes();
    mIdleOrder.erase(pending->second.idle);
    mSequences.erase(pending);
}

void NetworkPartsBuffer::CheckExpired(std::vector<ExpiredPartInfo>* expired) {
    std::size_t const first = expired ? expired->size() : 0;
    while (!mIdleOrder.empty() && mSequences.at(mIdleOrder.front()).merge.IsExpired(mExpireTimeout)) {
        auto pending = mSequences.find(mIdleOrder.front());
        if (expired) {
            std::vector<int> parts;
            pending->second.merge.GetIncompleteParts(parts);
            for (int part : parts) {
                expired->push_back({pending->first, part});
            }
        }
        Drop(pending, "expired");
    }
    if (expired) {
        std::stable_sort(
            expired->begin() + first, expired->end(),
            [](ExpiredPartInfo const& a, ExpiredPartInfo const& b) { return a.sequence < b.sequence; });
    }
}
