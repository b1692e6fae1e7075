#include "network/NetworkSequenceMerge.h"

#include "foundation/Errors.h"

NetworkSequenceMerge::NetworkSequenceMerge() : mLastChunk(GetTickCount()) {}

unsigned int NetworkSequenceMerge::GetPartsCount() const {
    return mParts.empty() ? 0 : mParts.begin()->second.GetCount();
}

void NetworkSequenceMerge::Add(NetworkDatagram chunk) {
    if (mParts.count(chunk.GetPart())) {
        Raise(NetworkMessageFormatError("Duplicated part for same sequence"));
    }
    if (!mParts.empty() && GetPartsCount() != chunk.GetCount()) {
        Raise(NetworkMessageFormatError("Different count for same sequence"));
    }
    unsigned int const part = chunk.GetPart();
    mHeldBytes += chunk.GetData().size() + kChunkOverhead;
    mParts.emplace(part, std::move(chunk));
    mLastChunk = GetTickCount();
}

bool NetworkSequenceMerge::IsComplete() const {
    return !mParts.empty() && mParts.size() == GetPartsCount();
}

std::string NetworkSequenceMerge::GetAllText() const {
    std::size_t length = 0;
    for (auto const& part : mParts) {
        length += part.second.GetData().size();
    }
    std::string text;
    text.reserve(length);
    for (auto const& part : mParts) {
        text += part.second.GetData();
    }
    return text;
}

bool NetworkSequenceMerge::IsExpired(unsigned long timeoutMs) const {
    return static_cast<DWORD>(GetTickCount() - mLastChunk) > timeoutMs;
}

void NetworkSequenceMerge::GetIncompleteParts(std::vector<int>& parts) const {
    for (unsigned int part = 1, count = GetPartsCount(); part <= count; ++part) {
        if (!mParts.count(part)) {
            parts.push_back(static_cast<int>(part));
        }
    }
}

unsigned int NetworkSequenceMerge::GetMissingCount() const {
    return GetPartsCount() - static_cast<unsigned int>(mParts.size());
}

unsigned int NetworkSequenceMerge::GetFirstMissingPart() const {
    unsigned int part = 1;
    for (auto it = mParts.begin(); it != mParts.end() && it->first == part; ++it) {
        ++part;
    }
    return part <= GetPartsCount() ? part : 0;
}
