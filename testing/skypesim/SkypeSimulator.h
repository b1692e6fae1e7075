#pragma once

#include <winsock2.h>

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "WorkerThread.h"
#include "skypesim/LinkListener.h"
#include "skypesim/SimAccount.h"
#include "skypesim/SimLink.h"
#include "skypesim/SimNetwork.h"

namespace skypesim {

// A simulated messenger network for tests, the demo and benchmarks: accounts whose running
// messengers answer the desktop API's window messages with hidden top-level windows.
//
// The windows live on a thread of the simulator's own. Texts from clients are only queued in
// the window procedure; commands are carried out and replies and notifications sent (one FIFO
// per client window) from that thread's loop, so a command is never handled inside a send.
// Every public method may be called from any thread; it returns when the simulator thread has
// done what it asks. An unknown account handle gives std::invalid_argument.
class SkypeSimulator {
public:
    SkypeSimulator();
    ~SkypeSimulator();  // closes every messenger window without a word
    SkypeSimulator(SkypeSimulator const&) = delete;
    SkypeSimulator& operator=(SkypeSimulator const&) = delete;

    // Accounts. AddAccount throws std::invalid_argument for an empty, malformed or repeated handle.
    void AddAccount(AccountConfig const& config);
    void AddFriends(std::string const& a, std::string const& b);
    void SetAvatar(std::string const& handle, std::string const& bytes);
    void SetRate(std::string const& handle, unsigned bytesPerSecond);  // 0 = unlimited
    // The rate of the handle's streams to `contact` alone, apart from the handle's rate.
    void SetRateTo(std::string const& handle, std::string const& contact, unsigned bytesPerSecond);
    // What the messenger answers a discover with; empty: it stays silent.
    void SetAttachScript(std::string const& handle, std::vector<AttachStep> const& steps);
    HWND Window(std::string const& handle);  // null while its messenger does not run

    // The messenger's life.
    void StartMessenger(std::string const& handle);  // opens its window again after Vanish
    void Vanish(std::string const& handle);          // destroys its window without a word
    void LogOut(std::string const& handle);          // "CONNSTATUS LOGGEDOUT" to its clients
    void LogIn(std::string const& handle);
    // Changes the status word; friends' clients hear "USER <handle> ONLINESTATUS <status>".
    void SetOnlineStatus(std::string const& handle, std::string const& status);
    void InjectNotification(std::string const& handle, std::string const& text);

    // Faults: see SimFaults. A prefix is matched against the command without its id.
    void DropReplies(std::string const& handle, int count, std::string const& prefix = std::string());
    void DelayReplies(std::string const& handle, unsigned ms, std::string const& prefix = std::string());
    void FailCommands(std::string const& handle, std::string const& prefix, std::string const& error,
                      int count = -1);
    void ClearFaults(std::string const& handle);

    // Observation: the commands the account received (without ids, cut after 200 characters).
    std::vector<std::string> Commands(std::string const& handle);
    bool WaitForCommand(std::string const& handle, std::string const& prefix, unsigned timeoutMs);
    void ClearCommands(std::string const& handle);
    AccountCounters Counters(std::string const& handle);

    // The link to a simulator on another machine, whose accounts then join this network.
    // Listen accepts one linked simulator at a time on a loopback port (0: any free one) and
    // gives the port, 0 when it cannot listen. LinkTo connects to a listening simulator,
    // trying until `timeoutMs` have passed; false when no connection came.
    unsigned short Listen(unsigned short port);
    bool LinkTo(std::string const& host, unsigned short port, unsigned timeoutMs = 10000);
    // Delays everything this side sends on the link by `ms`.
    void SetLinkLatency(unsigned ms);
    // Closes the link from this side; both sides' streams to the other machine close.
    void CutLink();
    // Sends bytes as they are on the link: a broken message, for tests.
    void SendRawOnLink(std::string const& bytes);
    // What happened to the link: "link up", "link down: <reason>", "link refused: <reason>".
    WaitableTexts& LinkEvents() { return mLinkEvents; }

private:
    struct Inbound {
        HWND window;  // the account's window that got it
        HWND client;
        bool discover;
        std::string text;
    };
    struct WindowEntry {
        std::string handle;
        UINT discoverMessage;
    };
    // A message or the end of the link with the given generation, from the link's threads.
    struct LinkInbound {
        unsigned generation;
        std::optional<LinkMessage> message;
        std::string closedReason;
    };
    struct Task {
        std::function<void()> body;
        HANDLE done;
        std::exception_ptr error;
    };

    // Runs `body` on the simulator thread and returns its result.
    template <typename F>
    auto Call(F body) -> decltype(body()) {
        if constexpr (std::is_void_v<decltype(body())>) {
            Invoke(body);
        } else {
            std::optional<decltype(body())> result;
            Invoke([&] { result = body(); });
            return std::move(*result);
        }
    }
    void Invoke(std::function<void()> body);
    void RunTasks();

    void Run(HANDLE started);
    void PumpMessages();
    void ProcessInbound();
    void CollectOutgoing(Clock::time_point now);
    void DeliverAll();
    bool Transmit(Outgoing const& out);
    DWORD NextTimeout(Clock::time_point now);

    void AdoptLink(SOCKET socket);
    void PostFromLink(LinkInbound item);
    void ProcessLinkInbound();
    void EndLink(std::string const& reason);
    void FlushLink();

    void OpenWindow(SimAccount& account);
    void CloseWindow(SimAccount& account);
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool HandleWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // Simulator thread only:
    SimNetwork mNetwork;
    std::map<HWND, WindowEntry> mWindows;  // the open messenger windows, owned by this thread
    std::deque<Inbound> mInbound;
    std::map<HWND, std::deque<Outgoing>> mMailboxes;  // per client window, in order
    std::multimap<Clock::time_point, Outgoing> mDelayed;
    std::unique_ptr<SimLink> mLink;  // while linked
    unsigned mLatencyMs = 0;

    std::unique_ptr<LinkListener> mListener;
    // Messages from the link wait here for the simulator thread; a reader that finds too many
    // bytes waiting stops reading until there is room (or its link has ended).
    std::mutex mLinkMutex;
    std::condition_variable mLinkRoom;
    std::deque<LinkInbound> mLinkInbound;
    std::size_t mLinkInboundBytes = 0;
    unsigned mLinkGeneration = 0;  // counts links; an item of an older one is dropped
    WaitableTexts mLinkEvents;

    std::mutex mTaskMutex;
    std::deque<Task*> mTasks;  // not owned: each waits on its caller's stack
    HANDLE mWake;              // owned; set for tasks and for stopping
    std::atomic<bool> mStopping{false};
    DWORD mThreadId = 0;
    WorkerThread mThread;
};

}  // namespace skypesim
