#include "network/SkypeNetworkTransportBase.h"

void SkypeNetworkTransportBase::OnReceive(std::string const& user, char const* text) {
    if (user == mUser && text && *text) {
        DoReceive(text);
    }
}
