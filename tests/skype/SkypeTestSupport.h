#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "RecordLog.h"
#include "foundation/Errors.h"
#include "skype/SkypeClient.h"
#include "skypesim/SkypeSimulator.h"

namespace skype_test {

using skypesim::AccountConfig;
using skypesim::AttachStep;
using skypesim::SkypeSimulator;

constexpr unsigned kWait = 5000;  // ms: generous, only reached when something is wrong

// Every event of a client as one line of text, in the order they came, for tests to wait on:
// "attach <status>", "current <user>", "logout", "status <user> <value>",
// "streams|received <app> <user:id>...", "sending <app> <user:id=bytes>...",
// "datagram <app> <user:id> <data>".
class EventRecorder {
public:
    explicit EventRecorder(ISkypeClient& client);
    ~EventRecorder();
    EventRecorder(EventRecorder const&) = delete;
    EventRecorder& operator=(EventRecorder const&) = delete;

    std::vector<std::string> Records() const;
    // Waits until `record` was recorded `count` times.
    bool WaitFor(std::string const& record, unsigned timeoutMs = kWait, int count = 1) const;
    // The records up to and including the first `record`, which are then forgotten; empty
    // when it did not come in time.
    std::vector<std::string> TakeThrough(std::string const& record, unsigned timeoutMs = kWait);
    void Clear();

private:
    void Subscribe(bool on);
    void Add(std::string const& record);
    void OnAttach(ISkypeClient& client);
    void OnCurrentUser(std::string user);
    void OnLogout();
    void OnUserStatus(std::string const& user, ISkypeClient::UserStatus status);
    void OnStreams(std::string const& name, ISkypeEvents::StreamList const& streams);
    void OnReceived(std::string const& name, ISkypeEvents::StreamList const& streams);
    void OnSending(std::string const& name, std::vector<ISkypeEvents::AppSendingData> const& items);
    void OnDatagram(std::string const& name, ISkypeEvents::AppDatagramData const& datagram);

    ISkypeClient& mClient;
    RecordLog mLog;
};

// An account whose discover and attach messages no other test (or process) uses.
AccountConfig UniqueAccount(std::string const& handle);
// A handle of this process's own, so that the per-user lock of another test program never
// meets ours.
std::string OwnHandle(std::string const& name);

// Sends a record as `sender` straight to the client's window, as the messenger would.
LRESULT SendCopyData(HWND client, HWND sender, void const* data, DWORD size);
// The same for a NUL-terminated text.
LRESULT SendText(HWND client, HWND sender, std::string const& text);

// Raises SkypeError with exactly `text`, or fails the test.
template <class F>
void ExpectSkypeError(F action, std::string const& text) {
    try {
        action();
        ADD_FAILURE() << "no error, expected " << text;
    } catch (SkypeError const& error) {
        EXPECT_EQ(error.what(), text);
    }
}

// A simulator with the attached user's account, a client for it and its recorder.
class ClientTest : public ::testing::Test {
protected:
    ClientTest();
    ~ClientTest() override;

    // The client for `config` (default: the own account), with its own window.
    std::unique_ptr<SkypeClient> MakeClient(AccountConfig const& config);
    // Makes `client` and `recorder` for the own account and attaches.
    void Attach();
    // Injects `text`, then a marker notification, and gives the events `text` raised.
    std::vector<std::string> EventsOf(std::string const& text);
    void AddContact(std::string const& handle, std::string const& avatar = std::string(),
                    bool running = true);

    std::string const me;
    AccountConfig account;
    std::unique_ptr<SkypeSimulator> sim;
    std::unique_ptr<SkypeClient> client;
    std::unique_ptr<EventRecorder> recorder;
};

}  // namespace skype_test
