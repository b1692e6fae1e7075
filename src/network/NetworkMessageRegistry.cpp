#include "network/NetworkMessageRegistry.h"

#include "foundation/CorvaneLogging.h"
#include "foundation/Errors.h"

NetworkMessageRegistry::NetworkMessageRegistry(void (*fill)(NetworkMessageRegistry&)) {
    fill(*this);
}

NetworkMessageRegistry::~NetworkMessageRegistry() {
    if (mInstance == this) {
        mInstance = nullptr;
    }
}

void NetworkMessageRegistry::Register(int id, CreateFunction create) {
    if (!mMap.emplace(id, create).second) {
        CORVANE_LOG("Duplicate network message id: " << id);
        Raise(NetworkError("Duplicate network message id"));
    }
}

NetworkMessageRegistry::CreateFunction NetworkMessageRegistry::Find(int id) const {
    auto entry = mMap.find(id);
    return entry == mMap.end() ? nullptr : entry->second;
}
