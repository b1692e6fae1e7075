#pragma once

#include <string>

class ISkypeApplication;

// Binds a transport to one contact on one messenger application.
class SkypeNetworkTransportBase {
public:
    SkypeNetworkTransportBase(ISkypeApplication* application, std::string user)
        : mApplication(application), mUser(std::move(user)) {}
    virtual ~SkypeNetworkTransportBase() = default;

    std::string const& GetUser() const { return mUser; }

protected:
    // Handles text received from this contact.
    virtual void DoReceive(char const* text) = 0;
    // Receives every text of the application; passes on the non-empty ones of this contact.
    void OnReceive(std::string const& user, char const* text);

    ISkypeApplication* mApplication;  // not owned
    std::string mUser;
};
