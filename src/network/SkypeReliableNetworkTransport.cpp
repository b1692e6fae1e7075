#include "network/SkypeReliableNetworkTransport.h"

#include "skype/ISkypeApplication.h"

SkypeReliableNetworkTransport::SkypeReliableNetworkTransport(ISkypeApplication* application,
                                                             std::string const& user)
    : SkypeNetworkTransportBase(application, user) {
    mApplication->OnDataReceived.Add(MakeDelegate<&SkypeReliableNetworkTransport::OnReceive>(this));
}

SkypeReliableNetworkTransport::~SkypeReliableNetworkTransport() {
    mApplication->OnDataReceived.Remove(MakeDelegate<&SkypeReliableNetworkTransport::OnReceive>(this));
}

void SkypeReliableNetworkTransport::DoReceive(char const* text) {
    OnReceiveChunk(text);
}

void SkypeReliableNetworkTransport::SendChunk(std::string const& frame) {
    mApplication->Write(mUser, frame);
}
