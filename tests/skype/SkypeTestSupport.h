#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "../skypesim/SimTestSupport.h"
#include "../ErrorText.h"
#include "RecordLog.h"
#include "foundation/Errors.h"
#include "foundation/ThreadWindow.h"
#include "skype/SkypeClient.h"

namespace skype_test {

using skypesim::AccountConfig;
using skypesim::AttachStep;
using skypesim::SkypeSimulator;
using skypesim_test::kWait;

// Adds `handler` to `event`, or removes it again.
template <class E, class H>
void Toggle(E& event, H const& handler, bool on) {
    if (on) {
        event.Add(handler);
    } else {
        event.Remove(handler);
    }
}

// Every event of a client as one line of text, in the order they came, for tests to wait on:
// "attach <status>", "current <user>", "logout", "status <user> <value>",
// "streams|received <app> <user:id>...", "sending <app> <user:id=bytes>...",
// "datagram <app> <user:id> <data>".
class EventRecorder : public RecordLog {
public:
    explicit EventRecorder(ISkypeClient& client) : mClient(client) { Subscribe(true); }
    ~EventRecorder() { Subscribe(false); }
    EventRecorder(EventRecorder const&) = delete;
    EventRecorder& operator=(EventRecorder const&) = delete;

    bool WaitFor(std::string const& record, unsigned timeoutMs = kWait, int count = 1) const {
        return RecordLog::WaitFor(record, timeoutMs, count);
    }

private:
    void Subscribe(bool on);
    void OnAttach(ISkypeClient& client) { Add("attach " + std::to_string(client.GetAttachStatus())); }
    void OnCurrentUser(std::string user) { Add("current " + user); }
    void OnLogout() { Add("logout"); }
    void OnUserStatus(std::string const& user, ISkypeClient::UserStatus status) {
        Add("status " + user + " " + std::to_string(status));
    }
    void OnStreams(std::string const& name, ISkypeEvents::StreamList const& streams);
    void OnReceived(std::string const& name, ISkypeEvents::StreamList const& streams);
    void OnSending(std::string const& name, std::vector<ISkypeEvents::AppSendingData> const& items);
    void OnDatagram(std::string const& name, ISkypeEvents::AppDatagramData const& datagram) {
        Add("datagram " + name + " " + datagram.user + ":" + datagram.streamId + " " + datagram.data);
    }

    ISkypeClient& mClient;
};

// Sends a record as `sender` straight to the client's window, as the messenger would.
LRESULT SendCopyData(HWND client, HWND sender, void const* data, DWORD size);
// The same for a NUL-terminated text.
inline LRESULT SendText(HWND client, HWND sender, std::string const& text) {
    return SendCopyData(client, sender, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

// Raises SkypeError with exactly `text`, or fails the test.
template <class F>
void ExpectSkypeError(F action, std::string const& text) {
    EXPECT_EQ(ErrorText<SkypeError>(action), text);
}

// A simulator with the attached user's account (a handle of this process's own, so that the
// per-user lock of another test program never meets ours), a client for it and its recorder.
class ClientTest : public ::testing::Test {
protected:
    ClientTest();
    ~ClientTest() override;

    // Replaces `client` and `recorder` with new ones for the own account, not yet attached;
    // the client makes its own window unless given one.
    void NewClient(ThreadWindow* window = nullptr);
    // Makes a new client and recorder and attaches.
    void Attach();
    // Injects `text`, then a marker notification, and gives the events `text` raised.
    std::vector<std::string> EventsOf(std::string const& text);
    void AddContact(std::string const& handle, std::string const& avatar = std::string(),
                    bool running = true);

    std::string const me;
    AccountConfig account;
    std::unique_ptr<SkypeSimulator> sim;
    ThreadWindow givenWindow;  // for a client that is given its window: outlives the client
    std::unique_ptr<SkypeClient> client;
    std::unique_ptr<EventRecorder> recorder;
};

}  // namespace skype_test
