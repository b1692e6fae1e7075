#include "skypesim/SkypeSimulator.h"

#include <algorithm>

#include "skypesim/LinkSocket.h"
#include "skypesim/SimWindows.h"

namespace skypesim {

namespace {
wchar_t const kWindowClass[] = L"CorvaneSkypeSimMessenger";
// A client that does not take a message within this time loses it.
constexpr unsigned kSendTimeoutMs = 5000;
// How often send buffers drain while data is waiting.
constexpr DWORD kTickMs = 10;
// Bytes from the link that may wait for the simulator thread.
constexpr std::size_t kMaxLinkInboundBytes = 128 * 1024 * 1024;

// Waits for `event` while letting other threads' sent messages through, so that a caller that
// owns windows cannot deadlock with the simulator sending to them.
void WaitHandlingSentMessages(HANDLE event) {
    while (MsgWaitForMultipleObjectsEx(1, &event, INFINITE, QS_SENDMESSAGE, 0) != WAIT_OBJECT_0) {
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}
}  // namespace

SkypeSimulator::SkypeSimulator() : mWake(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    mThread.Start([this, started] { Run(started); });
    WaitForSingleObject(started, INFINITE);
    CloseHandle(started);
}

SkypeSimulator::~SkypeSimulator() {
    mListener.reset();
    mStopping = true;
    SetEvent(mWake);
    mThread.Join();
    {
        std::lock_guard<std::mutex> lock(mLinkMutex);
        ++mLinkGeneration;
        mLinkRoom.notify_all();
    }
    mLink.reset();
    CloseHandle(mWake);
}

// Tasks

void SkypeSimulator::Invoke(std::function<void()> body) {
    if (GetCurrentThreadId() == mThreadId) {
        body();
        return;
    }
    Task task{std::move(body), CreateEventW(nullptr, TRUE, FALSE, nullptr), nullptr};
    {
        std::lock_guard<std::mutex> lock(mTaskMutex);
        mTasks.push_back(&task);
    }
    SetEvent(mWake);
    WaitHandlingSentMessages(task.done);
    CloseHandle(task.done);
    if (task.error) {
        std::rethrow_exception(task.error);
    }
}

void SkypeSimulator::RunTasks() {
    std::deque<Task*> tasks;
    {
        std::lock_guard<std::mutex> lock(mTaskMutex);
        tasks.swap(mTasks);
    }
    for (Task* task : tasks) {
        try {
            task->body();
        } catch (...) {
            task->error = std::current_exception();
        }
        SetEvent(task->done);
    }
}

// The simulator thread

void SkypeSimulator::Run(HANDLE started) {
    mThreadId = GetCurrentThreadId();
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // makes the thread's message queue
    SetEvent(started);
    while (!mStopping) {
        PumpMessages();
        RunTasks();
        ProcessInbound();
        ProcessLinkInbound();
        Clock::time_point now = Clock::now();
        mNetwork.Tick(now);
        FlushLink();
        CollectOutgoing(now);
        DeliverAll();
        if (mInbound.empty()) {
            MsgWaitForMultipleObjectsEx(1, &mWake, NextTimeout(Clock::now()), QS_ALLINPUT,
                                        MWMO_INPUTAVAILABLE);
        }
    }
    RunTasks();  // a caller may have queued one as we stopped; it finds the windows gone
    for (auto& entry : mWindows) {
        DestroyWindow(entry.first);
    }
}

void SkypeSimulator::PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
}

void SkypeSimulator::ProcessInbound() {
    std::deque<Inbound> batch;
    batch.swap(mInbound);
    for (Inbound& in : batch) {
        auto window = mWindows.find(in.window);
        SimAccount* account = window == mWindows.end() ? nullptr : mNetwork.Find(window->second.handle);
        if (!account || account->window != in.window) {
            continue;
        }
        HWND client = IsWindow(in.client) ? in.client : nullptr;
        if (in.discover) {
            mNetwork.HandleDiscover(*account, client);
        } else {
            mNetwork.HandleCommand(*account, client, in.text, Clock::now());
        }
    }
}

void SkypeSimulator::CollectOutgoing(Clock::time_point now) {
    for (Outgoing& out : mNetwork.TakeOutgoing()) {
        if (out.delayMs > 0) {
            mDelayed.emplace(now + std::chrono::milliseconds(out.delayMs), std::move(out));
        } else {
            mMailboxes[out.to].push_back(std::move(out));
        }
    }
    while (!mDelayed.empty() && mDelayed.begin()->first <= now) {
        Outgoing out = std::move(mDelayed.begin()->second);
        mDelayed.erase(mDelayed.begin());
        mMailboxes[out.to].push_back(std::move(out));
    }
}

// Sends every queued message. Texts that clients send meanwhile are only queued (the window
// procedure), so nothing here runs inside another send. A client that is gone is forgotten; one
// that does not answer in time loses the rest of its batch rather than stall every account.
void SkypeSimulator::DeliverAll() {
    while (!mMailboxes.empty()) {
        auto box = mMailboxes.begin();
        HWND client = box->first;
        std::deque<Outgoing> messages = std::move(box->second);
        mMailboxes.erase(box);
        for (Outgoing const& out : messages) {
            if (!Transmit(out)) {
                if (!IsWindow(client)) {
                    mNetwork.ForgetClient(client);
                }
                break;
            }
        }
    }
}

bool SkypeSimulator::Transmit(Outgoing const& out) {
    if (!mWindows.count(out.from)) {
        return true;  // its messenger has gone meanwhile
    }
    if (out.message == 0) {
        return SendText(out.from, out.to, out.text, kSendTimeoutMs);
    }
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(out.to, out.message, reinterpret_cast<WPARAM>(out.from), out.status,
                               SMTO_NORMAL, kSendTimeoutMs, &result) != 0;
}

DWORD SkypeSimulator::NextTimeout(Clock::time_point now) {
    DWORD timeout = mNetwork.NeedsTick() ? kTickMs : INFINITE;
    if (!mDelayed.empty()) {
        auto wait = std::chrono::ceil<std::chrono::milliseconds>(mDelayed.begin()->first - now).count();
        timeout = std::min<DWORD>(timeout, static_cast<DWORD>(std::max<long long>(wait, 0)));
    }
    return timeout;
}

// The link

void SkypeSimulator::AdoptLink(SOCKET socket) {
    if (mLink) {
        closesocket(socket);
        mLinkEvents.Add("link refused: a simulator is linked already");
        return;
    }
    unsigned generation = 0;
    {
        std::lock_guard<std::mutex> lock(mLinkMutex);
        generation = ++mLinkGeneration;
    }
    mLink = std::make_unique<SimLink>(
        socket, mLatencyMs,
        [this, generation](LinkMessage message) {
            PostFromLink({generation, std::move(message), std::string()});
        },
        [this, generation](std::string const& reason) {
            PostFromLink({generation, std::nullopt, reason});
        });
    mNetwork.LinkUp();
    FlushLink();
}

void SkypeSimulator::PostFromLink(LinkInbound item) {
    std::size_t size = item.message ? item.message->ArgumentCount() + 64 : 0;
    for (std::size_t i = 0; item.message && i < item.message->ArgumentCount(); ++i) {
        size += item.message->Argument(i).size();
    }
    std::unique_lock<std::mutex> lock(mLinkMutex);
    mLinkRoom.wait(lock, [&] {
        return mLinkInboundBytes == 0 || mLinkInboundBytes + size <= kMaxLinkInboundBytes ||
               item.generation != mLinkGeneration || mStopping;
    });
    if (item.generation != mLinkGeneration) {
        return;
    }
    mLinkInboundBytes += size;
    mLinkInbound.push_back(std::move(item));
    SetEvent(mWake);
}

void SkypeSimulator::ProcessLinkInbound() {
    std::deque<LinkInbound> batch;
    {
        std::lock_guard<std::mutex> lock(mLinkMutex);
        batch.swap(mLinkInbound);
        mLinkInboundBytes = 0;
        mLinkRoom.notify_all();
    }
    for (LinkInbound& item : batch) {
        if (!mLink || item.generation != mLinkGeneration) {
            continue;  // the link it came on has ended
        }
        if (!item.message) {
            EndLink(item.closedReason);
            continue;
        }
        try {
            if (mNetwork.HandleLinkMessage(*item.message)) {
                mLinkEvents.Add("link up");
            }
        } catch (LinkError const& error) {
            EndLink(std::string("broken message: ") + error.what());
        }
    }
}

// Runs on the simulator thread: the link's threads are joined here, so they never wait for it.
void SkypeSimulator::EndLink(std::string const& reason) {
    if (!mLink) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mLinkMutex);
        ++mLinkGeneration;
        mLinkRoom.notify_all();
    }
    mLink.reset();
    mNetwork.LinkDown();
    mLinkEvents.Add("link down: " + reason);
}

void SkypeSimulator::FlushLink() {
    for (LinkMessage const& message : mNetwork.TakeLinkOutgoing()) {
        if (mLink) {
            mLink->Send(message);
        }
    }
}

// Windows

void SkypeSimulator::OpenWindow(SimAccount& account) {
    HWND window = CreateHiddenWindow(kWindowClass, &SkypeSimulator::WindowProcedure, this);
    if (!window) {
        throw std::runtime_error("cannot create the messenger window of " + account.config.handle);
    }
    account.discoverMessage = RegisterWindowMessageW(account.config.discoverMessage.c_str());
    account.attachMessage = RegisterWindowMessageW(account.config.attachMessage.c_str());
    mWindows[window] = {account.config.handle, account.discoverMessage};
    mNetwork.MessengerStarted(account, window);
}

void SkypeSimulator::CloseWindow(SimAccount& account) {
    HWND window = account.window;
    mNetwork.MessengerStopped(account);
    mWindows.erase(window);
    DestroyWindow(window);
}

LRESULT CALLBACK SkypeSimulator::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    SkypeSimulator* self = WindowOwner<SkypeSimulator>(window);
    if (self && self->HandleWindowMessage(window, message, wParam, lParam)) {
        return message == WM_COPYDATA;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool SkypeSimulator::HandleWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto entry = mWindows.find(window);
    if (entry == mWindows.end()) {
        return false;
    }
    HWND client = reinterpret_cast<HWND>(wParam);
    if (message == entry->second.discoverMessage) {
        mInbound.push_back({window, client, true, std::string()});
        return true;
    }
    if (message == WM_COPYDATA) {
        std::optional<std::string> text = CopyDataText(lParam, kMaxTextBytes);
        if (text) {
            mInbound.push_back({window, client, false, std::move(*text)});
        }
        return text.has_value();
    }
    return false;
}

// Public operations

void SkypeSimulator::AddAccount(AccountConfig const& config) {
    Call([&] {
        SimAccount& account = mNetwork.AddAccount(config);
        if (config.running) {
            OpenWindow(account);
        }
    });
}

void SkypeSimulator::AddFriends(std::string const& a, std::string const& b) {
    Call([&] { mNetwork.AddFriends(a, b); });
}

void SkypeSimulator::SetAvatar(std::string const& handle, std::string const& bytes) {
    Call([&] { mNetwork.Get(handle).config.avatar = bytes; });
}

void SkypeSimulator::SetRate(std::string const& handle, unsigned bytesPerSecond) {
    Call([&] { mNetwork.Get(handle).config.rate = bytesPerSecond; });
}

void SkypeSimulator::SetRateTo(std::string const& handle, std::string const& contact,
                               unsigned bytesPerSecond) {
    Call([&] { mNetwork.Get(handle).config.rateTo[contact] = bytesPerSecond; });
}

void SkypeSimulator::SetAttachScript(std::string const& handle, std::vector<AttachStep> const& steps) {
    Call([&] { mNetwork.Get(handle).config.attachScript = steps; });
}

HWND SkypeSimulator::Window(std::string const& handle) {
    return Call([&] { return mNetwork.Get(handle).window; });
}

void SkypeSimulator::StartMessenger(std::string const& handle) {
    Call([&] {
        SimAccount& account = mNetwork.Get(handle);
        if (!account.running) {
            OpenWindow(account);
        }
    });
}

void SkypeSimulator::Vanish(std::string const& handle) {
    Call([&] {
        SimAccount& account = mNetwork.Get(handle);
        if (account.running) {
            CloseWindow(account);
        }
    });
}

void SkypeSimulator::LogOut(std::string const& handle) {
    Call([&] { mNetwork.LogOut(mNetwork.Get(handle)); });
}

void SkypeSimulator::LogIn(std::string const& handle) {
    Call([&] { mNetwork.LogIn(mNetwork.Get(handle)); });
}

void SkypeSimulator::SetOnlineStatus(std::string const& handle, std::string const& status) {
    Call([&] { mNetwork.SetOnlineStatus(mNetwork.Get(handle), status); });
}

void SkypeSimulator::InjectNotification(std::string const& handle, std::string const& text) {
    Call([&] { mNetwork.Notify(mNetwork.Get(handle), text); });
}

void SkypeSimulator::DropReplies(std::string const& handle, int count, std::string const& prefix) {
    Call([&] { mNetwork.Get(handle).faults.DropReplies(count, prefix); });
}

void SkypeSimulator::DelayReplies(std::string const& handle, unsigned ms, std::string const& prefix) {
    Call([&] { mNetwork.Get(handle).faults.DelayReplies(ms, prefix); });
}

void SkypeSimulator::FailCommands(std::string const& handle, std::string const& prefix,
                                  std::string const& error, int count) {
    Call([&] { mNetwork.Get(handle).faults.FailCommands(prefix, error, count); });
}

void SkypeSimulator::ClearFaults(std::string const& handle) {
    Call([&] { mNetwork.Get(handle).faults.Clear(); });
}

std::vector<std::string> SkypeSimulator::Commands(std::string const& handle) {
    return Call([&] { return mNetwork.Get(handle).commandLog; })->Snapshot();
}

bool SkypeSimulator::WaitForCommand(std::string const& handle, std::string const& prefix,
                                    unsigned timeoutMs) {
    return Call([&] { return mNetwork.Get(handle).commandLog; })
        ->WaitFor(prefix, timeoutMs, false)
        .has_value();
}

void SkypeSimulator::ClearCommands(std::string const& handle) {
    Call([&] { return mNetwork.Get(handle).commandLog; })->Clear();
}

AccountCounters SkypeSimulator::Counters(std::string const& handle) {
    return Call([&] { return mNetwork.Get(handle).counters; });
}

}  // namespace skypesim

namespace skypesim {

unsigned short SkypeSimulator::Listen(unsigned short port) {
    auto listener =
        std::make_unique<LinkListener>(port, [this](SOCKET socket) { Invoke([&] { AdoptLink(socket); }); });
    if (!listener->IsListening()) {
        mLinkEvents.Add("link failed: " + listener->Error());
        return 0;
    }
    unsigned short chosen = listener->Port();
    Call([&] { mListener = std::move(listener); });
    return chosen;
}

bool SkypeSimulator::LinkTo(std::string const& host, unsigned short port, unsigned timeoutMs) {
    std::string error;
    SOCKET socket = ConnectTo(host, port, timeoutMs, error);
    if (socket == INVALID_SOCKET) {
        mLinkEvents.Add("link failed: " + error);
        return false;
    }
    Call([&] { AdoptLink(socket); });
    return true;
}

void SkypeSimulator::SetLinkLatency(unsigned ms) {
    Call([&] {
        mLatencyMs = ms;
        if (mLink) {
            mLink->SetLatency(ms);
        }
    });
}

void SkypeSimulator::CutLink() {
    Call([&] { EndLink("cut on command"); });
}

void SkypeSimulator::SendRawOnLink(std::string const& bytes) {
    Call([&] {
        if (mLink) {
            mLink->SendRaw(bytes);
        }
    });
}

}  // namespace skypesim
