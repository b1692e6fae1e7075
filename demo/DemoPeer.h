#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "network/ControlMessages.h"
#include "network/NetworkProtocol.h"
#include "network/NetworkVisitor.h"
#include "network/SkypeReliableNetworkTransport.h"
#include "skype/SkypeApplication.h"
#include "skype/SkypeClient.h"

// One side of the demo: a messenger client attached to one simulated account, the control and
// screen applications, and a transport and endpoint per stream toward one contact. Received
// messages are written down as lines of text.
class DemoPeer : public NetworkVisitor {
public:
    DemoPeer(std::string const& discoverMessage, std::string const& attachMessage);
    ~DemoPeer() override;

    // Attaches to the messenger; false when it did not succeed within `timeoutMs`.
    bool Attach(DWORD timeoutMs);
    std::string GetUser() const { return mClient.GetCurrentUser(); }

    // Registers both applications and prepares the channels toward `contact`.
    void OpenApplications(std::string const& contact);
    // Asks for both streams to the contact.
    void Connect();
    // Waits until both streams to the contact are open.
    bool WaitConnected(DWORD timeoutMs);

    NetworkProtocol& Control() { return *mControl; }
    NetworkProtocol& Screen() { return *mScreen; }

    // Waits for the next received message and gives its line.
    std::string WaitMessage(DWORD timeoutMs);
    // The last clipboard payload received (the demo's screen-sized payload).
    std::vector<unsigned char> TakePayload();

    void Handle(DiscoveryNetMsg const& message) override;
    void Handle(TestConnectNetMsg const& message) override;
    void Handle(ClipboardNetMsg const& message) override;

private:
    void OnAttach(ISkypeClient& client);
    void OnConnected(std::string const& user, ISkypeApplication* application);
    void Record(std::string const& line);

    SkypeClient mClient;
    std::string mContact;
    std::unique_ptr<SkypeApplication> mControlApp;
    std::unique_ptr<SkypeApplication> mScreenApp;
    std::unique_ptr<SkypeReliableNetworkTransport> mControlTransport;
    std::unique_ptr<SkypeReliableNetworkTransport> mScreenTransport;
    std::unique_ptr<NetworkProtocol> mControl;
    std::unique_ptr<NetworkProtocol> mScreen;

    HANDLE mAttached;   // owned, manual reset
    HANDLE mConnected;  // owned, auto reset: one stream opened
    HANDLE mReceived;   // owned, auto reset: a message line was added
    std::mutex mLock;
    std::vector<std::string> mLines;
    std::vector<unsigned char> mPayload;
};
