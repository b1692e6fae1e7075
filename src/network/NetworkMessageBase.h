#pragma once

#include "network/NetworkMessage.h"
#include "network/NetworkVisitor.h"

// The part of every concrete message T that follows from its id and stream.
template <class T, int id, int streamIndex>
class NetworkMessageBase : public NetworkMessage {
public:
    static constexpr int mId = id;
    static constexpr int mStreamIndex = streamIndex;

    int GetStreamIndex() const override { return streamIndex; }
    int GetId() const override { return id; }
    void Route(NetworkVisitor& visitor) override { visitor.Handle(static_cast<T const&>(*this)); }

    // A new default-constructed T; the caller owns it. The registry's entry for `id`.
    static NetworkMessage* Create() { return new T(); }
};
