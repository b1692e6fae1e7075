#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "WorkerThread.h"
#include "skypesim/WaitableTexts.h"

namespace skypesim {

// A minimal desktop-API client written directly on window messages, for tests and benchmarks:
// its own hidden window on its own thread, the discover broadcast, commands with ids and the
// notifications in a queue. Every method may be called from any thread but the client's own.
class RawClient {
public:
    struct AttachReport {
        HWND messenger;
        int status;
    };

    explicit RawClient(std::wstring const& discoverMessage = L"SkypeControlAPIDiscover",
                       std::wstring const& attachMessage = L"SkypeControlAPIAttach");
    ~RawClient();
    RawClient(RawClient const&) = delete;
    RawClient& operator=(RawClient const&) = delete;

    HWND Window() const { return mWindow; }

    // Broadcasts the discover message to every top-level window.
    void Discover();
    std::vector<AttachReport> AttachReports() const;
    // Waits for an attach report with `status`, among the reports from the `since`-th on
    // (those already received count), and gives its sender; null on time-out.
    HWND WaitForAttach(int status, unsigned timeoutMs, std::size_t since = 0);
    // Discovers and waits for a new success report; its sender is the messenger commands go to.
    bool Attach(unsigned timeoutMs = 5000);
    void SetMessenger(HWND messenger) { mMessenger = messenger; }
    HWND Messenger() const { return mMessenger; }

    // Sends "#<n> " + command and waits for the reply; gives the reply without its id, nothing
    // on time-out or when the messenger's window is gone.
    std::optional<std::string> Command(std::string const& command, unsigned timeoutMs = 5000);
    // Sends a text as it is; false when the messenger did not take it.
    bool Send(std::string const& text, unsigned timeoutMs = 5000);

    // Texts without an id, and replies nobody waits for, in arrival order.
    WaitableTexts& Notifications() { return mNotifications; }
    // Takes the oldest notification that starts with `prefix`, waiting up to `timeoutMs`.
    std::optional<std::string> WaitForNotification(std::string const& prefix, unsigned timeoutMs) {
        return mNotifications.WaitFor(prefix, timeoutMs, true);
    }

private:
    void Run(HANDLE ready);
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Receive(std::string text);

    UINT const mDiscoverMessage;
    UINT const mAttachMessage;
    HWND mWindow = nullptr;  // owned by the client's thread
    std::atomic<HWND> mMessenger{nullptr};
    std::atomic<unsigned> mNextId{0};

    mutable std::mutex mMutex;
    std::condition_variable mChanged;
    std::vector<AttachReport> mReports;
    std::map<std::string, std::optional<std::string>> mPending;  // replies by id
    WaitableTexts mNotifications;
    WorkerThread mThread;
};

}  // namespace skypesim
