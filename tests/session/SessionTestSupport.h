#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ScriptedSessionGuiManager.h"
#include "SharingTap.h"
#include "SimulatedPeers.h"
#include "config/Configuration.h"
#include "session/Session.h"
#include "session/SessionManager.h"

namespace session_test {

constexpr unsigned kWait = 15000;

bool WaitUntil(std::function<bool()> const& done, unsigned timeoutMs = kWait);
// This machine's clipboard as CF_TEXT, and setting it; a peer's payload of one CF_TEXT record.
std::string ClipboardText();
void SetClipboardText(std::string const& text);
std::vector<unsigned char> TextPayload(std::string const& text);
bool CursorAt(int x, int y);
// An account name of this process, so that runs side by side never meet.
std::string Handle(std::string const& name);

// A manager whose protected clearing a test may call from inside a callback.
class OpenSessionManager : public SessionManager {
public:
    using SessionManager::ClearSessions;
    using SessionManager::SessionManager;
};

// One person: a simulator client, a configuration, scripted user interfaces and a manager.
struct Side {
    Side(SimulatedPeers& peers, std::string const& handle, std::string const& contact);

    // Waits for the next line of the session with the contact (or `user`) that contains `text`.
    bool Expect(std::string const& text, unsigned timeoutMs = kWait) {
        return ExpectFrom(contact, text, timeoutMs);
    }
    bool ExpectFrom(std::string const& user, std::string const& text, unsigned timeoutMs = kWait);
    std::string Pending() const;  // the lines since the last found, for failure messages
    boost::shared_ptr<ScriptedSessionGui> Gui() { return guis.Gui(contact); }
    Session* ContactSession();

    std::function<void(std::string const&)> hook;  // every line, on the thread that recorded it
    std::string handle;
    std::string contact;
    SkypeClient& client;
    Configuration config;
    ScriptedSessionGuiManager guis;
    std::unique_ptr<OpenSessionManager> manager;
    std::size_t cursor = 0;
};

// Alice and her contacts (bob the first), attached, every session between them available.
class AliceAndContacts : public ::testing::Test {
protected:
    explicit AliceAndContacts(std::vector<std::string> const& contacts = {"bob"});

    void SetUp() override;
    void TearDown() override;  // the managers go before the clients they use

    // Steps "<side><verb> <text>", side A (alice) or B (bob): ? waits for a line that contains <text>;
    // > runs the state's operation <text>; ! presses the last notification's button <text> (queued;
    // !! at once); = scripts the next quality answer "<answer> [WxHxD]"; # sets the resolution "WxH";
    // ~ calls StopDisplaying(true) from a thread of its own.
    void Steps(std::vector<std::string> const& steps);
    // The viewer ('A' or 'B') asks for the other's desktop at his configured quality, who accepts.
    void Views(char viewer);
    void AliceStopsSharing();
    SharingTap& Tap();  // what alice sends bob, read beside his session
    void FromBob(NetworkMessage const& message) {
        ASSERT_TRUE(bob->ContactSession()->SendNetworkMessage(message));
    }
    std::string AliceStatus(std::string const& name);

    std::vector<std::string> const names;
    std::string const aliceHandle;
    std::string const bobHandle;
    SimulatedPeers peers;
    std::unique_ptr<Side> alice;
    std::vector<std::unique_ptr<Side>> contacts;
    Side* bob = nullptr;
    std::unique_ptr<SharingTap> tap;
};

}  // namespace session_test
