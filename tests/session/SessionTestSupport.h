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

// Polls `done` until it holds; false after `timeoutMs`.
bool WaitUntil(std::function<bool()> const& done, unsigned timeoutMs = kWait);
// This machine's clipboard as CF_TEXT (empty when it has none), and setting it.
std::string ClipboardText();
void SetClipboardText(std::string const& text);
// A clipboard payload of one CF_TEXT record, as a peer sends it.
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

// One person: a client attached to the shared simulator, a configuration, a scripted user
// interface and a session manager. Expect() walks the person's recorded lines in order.
struct Side {
    Side(SimulatedPeers& peers, std::string const& handle, std::string const& contact);

    // Waits for a line of the session with the contact (after the last one found) that
    // contains `text`; false after `timeoutMs`.
    bool Expect(std::string const& text, unsigned timeoutMs = kWait) {
        return ExpectFrom(contact, text, timeoutMs);
    }
    // The same for the session with `user`; "" for any session.
    bool ExpectFrom(std::string const& user, std::string const& text, unsigned timeoutMs = kWait);
    // The lines since the last Expect, for failure messages.
    std::string Pending() const;
    void SkipAll() { cursor = guis.Log().Records().size(); }
    boost::shared_ptr<ScriptedSessionGui> Gui() { return guis.Gui(contact); }
    // The session with the contact; null when there is none.
    Session* ContactSession();

    // Called with every line of this side, on the thread that recorded it.
    std::function<void(std::string const&)> hook;
    std::string handle;
    std::string contact;
    SkypeClient& client;
    Configuration config;
    ScriptedSessionGuiManager guis;
    std::unique_ptr<OpenSessionManager> manager;
    std::size_t cursor = 0;
};

// Alice and her contacts (bob the first) in one simulator, attached, each with a manager,
// every session between alice and a contact available.
class AliceAndContacts : public ::testing::Test {
protected:
    explicit AliceAndContacts(std::vector<std::string> const& contacts = {"bob"});

    void SetUp() override;
    // The managers go before the clients they use.
    void TearDown() override;

    // The viewer asks for the sharer's desktop at his configured quality; the sharer accepts.
    void Views(Side& viewer, Side& sharer);
    void AliceStopsSharing();
    // Reads what alice sends bob beside his session; made at the first call.
    SharingTap& Tap();
    void FromBob(NetworkMessage const& message) {
        ASSERT_TRUE(bob->ContactSession()->SendNetworkMessage(message));
    }
    // A status line of alice's session with bob.
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
