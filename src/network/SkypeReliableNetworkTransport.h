#pragma once

#include "network/ChunkNetworkTransport.h"
#include "network/SkypeNetworkTransportBase.h"

// The chunked transport over one contact's stream of a messenger application. The
// application must outlive the transport; received chunks arrive on the application's
// notification thread.
class SkypeReliableNetworkTransport : public SkypeNetworkTransportBase, public ChunkNetworkTransport {
public:
    SkypeReliableNetworkTransport(ISkypeApplication* application, std::string const& user);
    ~SkypeReliableNetworkTransport() override;
    SkypeReliableNetworkTransport(SkypeReliableNetworkTransport const&) = delete;
    SkypeReliableNetworkTransport& operator=(SkypeReliableNetworkTransport const&) = delete;

protected:
    void DoReceive(char const* text) override;
    // Writes the frame to the contact's stream; raises SkypeError when the messenger refuses.
    void SendChunk(std::string const& frame) override;
};
