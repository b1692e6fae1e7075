#include "network/NetworkPartsBuffer.h"

std::string NetworkPartsBuffer::Add(NetworkDatagram chunk) {
    int const sequence = chunk.GetSequence();
    NetworkSequenceMerge& merge = mSequences[sequence];
    merge.Add(std::move(chunk));
    if (!merge.IsComplete()) {
        return std::string();
    }
    std::string text = merge.GetAllText();
    mSequences.erase(sequence);
    return text;
}

void NetworkPartsBuffer::CheckExpired(std::vector<ExpiredPartInfo>* expired) {
    for (auto it = mSequences.begin(); it != mSequences.end();) {
        if (!it->second.IsExpired(mExpireTimeout)) {
            ++it;
            continue;
        }
        if (expired) {
            std::vector<int> parts;
            it->second.GetIncompleteParts(parts);
            for (int part : parts) {
                expired->push_back({it->first, part});
            }
        }
        it = mSequences.erase(it);
    }
}
