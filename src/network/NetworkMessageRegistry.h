#pragma once

#include <map>

class NetworkMessage;

// The process-wide map from message id to the function that makes a message of that class.
// Filled while the library loads (Core.cpp), read-only afterwards, so it is read without a lock.
class NetworkMessageRegistry {
public:
    using CreateFunction = NetworkMessage* (*)();

    NetworkMessageRegistry() = default;
    // Lets `fill` register the message classes before anyone can read the registry.
    explicit NetworkMessageRegistry(void (*fill)(NetworkMessageRegistry&));
    ~NetworkMessageRegistry();
    NetworkMessageRegistry(NetworkMessageRegistry const&) = delete;
    NetworkMessageRegistry& operator=(NetworkMessageRegistry const&) = delete;

    // Raises NetworkError "Duplicate network message id" when `id` is taken already.
    void Register(int id, CreateFunction create);
    template <class T>
    void Register() {
        Register(T::mId, &T::Create);
    }

    // The function registered for `id`; null when there is none.
    CreateFunction Find(int id) const;

    // The library's registry; null while it does not exist.
    static NetworkMessageRegistry const* GetInstance() { return mInstance; }

private:
    static NetworkMessageRegistry* mInstance;  // the object lives in Core.cpp

    std::map<int, CreateFunction> mMap;
};
