#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <type_traits>
#include <utility>

#include "../ErrorText.h"
#include "../skypesim/SimTestSupport.h"
#include "LogCapture.h"
#include "RecordLog.h"
#include "SimulatedPeers.h"
#include "TempFolder.h"
#include "WorkerThread.h"
#include "foundation/CorvaneLogging.h"
#include "foundation/FileHelper.h"
#include "foundation/StringHelper.h"
#include "imaging/Picture.h"
#include "skype/SkypeAvatar.h"
#include "skype/SkypeCommand.h"

namespace {

using skypesim::AccountConfig;
using skypesim::SkypeSimulator;
using skypesim_test::kWait;
using Texts = std::vector<std::string>;

// A client's events as lines ("attach <status>", "current <user>", "status <user> <value>", ...);
// given an application, its events instead ("success <user>", "data <user> <text>", ...) with
// the client's statuses as markers.
class EventRecorder : public RecordLog {
public:
    explicit EventRecorder(ISkypeClient& client, SkypeApplication* application = nullptr)
        : mClient(client), mApplication(application) {
        Subscribe(true);
    }
    ~EventRecorder() { Subscribe(false); }

private:
    template <class E, class H>
    static void Toggle(E& e, H const& h, bool on) {
        on ? e.Add(h) : e.Remove(h);
    }
    void Subscribe(bool on) {
        Toggle(mClient.OnUserStatus, MakeDelegate<&EventRecorder::OnUserStatus>(this), on);
        if (mApplication) {
            Toggle(mApplication->OnConnectSuccess, MakeDelegate<&EventRecorder::OnSuccess>(this), on);
            Toggle(mApplication->OnConnectFailure, MakeDelegate<&EventRecorder::OnFailure>(this), on);
            Toggle(mApplication->OnSendingFinished, MakeDelegate<&EventRecorder::OnFinished>(this), on);
            Toggle(mApplication->OnDataReceived, MakeDelegate<&EventRecorder::OnData>(this), on);
            return;
        }
        Toggle(mClient.OnAttach, MakeDelegate<&EventRecorder::OnAttach>(this), on);
        Toggle(mClient.OnCurrentUser, MakeDelegate<&EventRecorder::OnCurrentUser>(this), on);
        Toggle(mClient.OnLogout, MakeDelegate<&EventRecorder::OnLogout>(this), on);
        Toggle(mClient.OnAppStreams, MakeDelegate<&EventRecorder::OnStreams>(this), on);
        Toggle(mClient.OnAppReceived, MakeDelegate<&EventRecorder::OnReceived>(this), on);
        Toggle(mClient.OnAppSending, MakeDelegate<&EventRecorder::OnSending>(this), on);
        Toggle(mClient.OnAppDatagram, MakeDelegate<&EventRecorder::OnDatagram>(this), on);
    }
    void OnSuccess(std::string const& user, ISkypeApplication*) { Add("success " + user); }
    void OnFailure(std::string const& user, ISkypeApplication*) { Add("failure " + user); }
    void OnFinished(std::string const& user, ISkypeApplication*) { Add("finished " + user); }
    void OnData(std::string const& user, char const* text) { Add("data " + user + " " + text); }
    void OnAttach(ISkypeClient& client) { Add("attach " + std::to_string(client.GetAttachStatus())); }
    void OnCurrentUser(std::string user) { Add("current " + user); }
    void OnLogout() { Add("logout"); }
    void OnUserStatus(std::string const& user, ISkypeClient::UserStatus status) {
        Add("status " + user + " " + std::to_string(status));
    }
    void OnStreams(std::string const& name, ISkypeEvents::StreamList const& streams) {
        Add(Describe("streams " + name, streams));
    }
    void OnReceived(std::string const& name, ISkypeEvents::StreamList const& streams) {
        Add(Describe("received " + name, streams));
    }
    void OnSending(std::string const& name, std::vector<ISkypeEvents::AppSendingData> const& items) {
        std::string text = "sending " + name;
        for (auto const& item : items) {
            text += " " + item.user + ":" + item.streamId + "=" + std::to_string(item.bytes);
        }
        Add(text);
    }
    void OnDatagram(std::string const& name, ISkypeEvents::AppDatagramData const& datagram) {
        Add("datagram " + name + " " + datagram.user + ":" + datagram.streamId + " " + datagram.data);
    }
    static std::string Describe(std::string text, ISkypeEvents::StreamList const& streams) {
        for (auto const& stream : streams) {
            text += " " + stream.first + ":" + stream.second;
        }
        return text;
    }

    ISkypeClient& mClient;
    SkypeApplication* mApplication;
};

// Injects `texts`, then a status as a marker, and gives what `log` took before the marker.
Texts MarkedEvents(SkypeSimulator& sim, std::string const& handle, RecordLog& log, Texts const& texts) {
    static int marker = 0;
    std::string const name = "marker" + std::to_string(++marker);
    for (std::string const& text : texts) {
        sim.InjectNotification(handle, text);
    }
    sim.InjectNotification(handle, "USER " + name + " ONLINESTATUS ONLINE");
    Texts events = log.TakeThrough("status " + name + " 1", kWait);
    EXPECT_FALSE(events.empty()) << "the marker did not come after " << texts.back();
    if (!events.empty()) {
        events.pop_back();
    }
    return events;
}

template <class F>
void ExpectSkypeError(F action, std::string const& text) {
    EXPECT_EQ(ErrorText<SkypeError>(action), text);
}

// The user's account (a handle of this process's own: other test programs take per-user locks too).
class ClientTest : public ::testing::Test {
protected:
    ClientTest() { sim->AddAccount(account); }

    // A new client and recorder, not attached; the client makes its own window unless given one.
    void NewClient(ThreadWindow* window = nullptr) {
        recorder.reset();
        client.reset();
        client =
            std::make_unique<SkypeClient>(window, RegisterWindowMessageW(account.discoverMessage.c_str()),
                                          RegisterWindowMessageW(account.attachMessage.c_str()));
        recorder = std::make_unique<EventRecorder>(*client);
    }
    void Attach() {
        NewClient();
        client->Attach();
        ASSERT_TRUE(recorder->WaitFor("current " + me, kWait));
        recorder->Clear();
    }
    Texts EventsOf(std::string const& text) { return MarkedEvents(*sim, me, *recorder, {text}); }
    void AddContact(std::string const& handle, std::string const& avatar = std::string()) {
        AccountConfig config = skypesim_test::UniqueAccount(handle, handle + " Example");
        config.avatar = avatar;
        sim->AddAccount(config);
        sim->AddFriends(me, handle);
    }

    std::string const me = "alice." + std::to_string(GetCurrentProcessId());
    AccountConfig account = skypesim_test::UniqueAccount(me, me + " Example");
    std::unique_ptr<SkypeSimulator> sim = std::make_unique<SkypeSimulator>();
    ThreadWindow givenWindow;  // for a client that is given its window: outlives the client
    std::unique_ptr<SkypeClient> client;
    std::unique_ptr<EventRecorder> recorder;
};

using Clock = std::chrono::steady_clock;

// A record sent as `sender` straight to the client's window, as the messenger would.
LRESULT SendCopyData(HWND client, HWND sender, void const* data, DWORD size) {
    COPYDATASTRUCT record = {0, size, const_cast<void*>(data)};
    return SendMessageW(client, WM_COPYDATA, reinterpret_cast<WPARAM>(sender),
                        reinterpret_cast<LPARAM>(&record));
}
LRESULT SendText(HWND client, HWND sender, std::string const& text) {
    return SendCopyData(client, sender, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

// Runs `body` once on "SkypeEvent", from the client's idle tick.
struct OnceOnIdle {
    explicit OnceOnIdle(std::function<void()> run) : body(std::move(run)) {}
    std::function<void()> body;
    SyncEvent started;
    void OnIdle() {
        if (body) {
            started.Set();
            std::exchange(body, nullptr)();
        }
    }
};

// The logger name is the process's: a client gives back only the name it set itself. Once a
// window is chosen, later reports change nothing. A second client for the same account (in
// another process as here) is refused while the first holds it, and gives it up again at once.
TEST_F(ClientTest, StatusesBeforeAWindowIsChosenThenTheUserAndTheAccount) {
    struct Case {
        std::vector<skypesim::AttachStep> script;
        Texts events;  // "current": the own handle
        unsigned replyDelay = 0;
    } const cases[] = {
        {{{3, 0}}, {"attach 4"}},
        // "API available" changes nothing: the report after it is the first event.
        {{{0x8001, 0}, {7, 0}, {2, 0}}, {"attach 3"}},
        {{{1, 0}, {1, 0}, {0, 100}}, {"attach 2", "attach 1", "current"}},
        // A second success before the first reply: asked twice, attached once.
        {{{0, 0}, {0, 50}}, {"attach 1", "current", "current"}, 300},
    };
    LogCapture log;
    CorvaneLogging::SetLoggerName("host");
    for (Case const& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.events));
        sim->DelayReplies(me, c.replyDelay, "GET CURRENTUSERHANDLE");
        sim->SetAttachScript(me, c.script);
        sim->ClearCommands(me);
        NewClient();
        // Only the success before the last row set a name, and the client gave it back.
        EXPECT_EQ(CorvaneLogging::GetLoggerName(), c.replyDelay ? "" : "host");
        client->Attach();
        client->Attach();  // already running: no second thread, no second broadcast
        int const asked = static_cast<int>(std::count(c.events.begin(), c.events.end(), "current"));
        ASSERT_TRUE(asked ? recorder->WaitFor("current " + me, kWait, asked)
                          : recorder->WaitFor(c.events.back(), kWait));
        Texts events = recorder->Records();
        std::replace(events.begin(), events.end(), "current " + me, std::string("current"));
        EXPECT_EQ(events, c.events);
        EXPECT_EQ(sim->Commands(me), Texts(asked, "GET CURRENTUSERHANDLE"));
    }
    EXPECT_EQ(CorvaneLogging::GetLoggerName(), me);
    EXPECT_TRUE(Mutex().IsLock(me));
    UINT attachMessage = RegisterWindowMessageW(account.attachMessage.c_str());
    for (LPARAM status : {2, 3, 1, 0}) {
        SendMessageW(client->GetWindowHandle(), attachMessage, reinterpret_cast<WPARAM>(sim->Window(me)),
                     status);
    }
    EXPECT_EQ(client->GetAttachStatus(), ISkypeClient::AttachSuccess);
    EXPECT_EQ(sim->Commands(me).size(), 2u);

    SkypeClient second(nullptr, RegisterWindowMessageW(account.discoverMessage.c_str()), attachMessage);
    second.Attach();
    for (DWORD start = GetTickCount(); !log.Contains("is locked") && GetTickCount() - start < kWait;) {
        Sleep(20);  // the log has no event to wait on
    }
    EXPECT_EQ(second.GetAttachStatus(), ISkypeClient::AttachNone);
    EXPECT_EQ(sim->Commands(me).size(), 4u);  // the second asked too, on both successes
    recorder.reset();
    client.reset();
    EXPECT_FALSE(Mutex().IsLock(me));
    EXPECT_EQ(CorvaneLogging::GetLoggerName(), "");
}

// Only the messenger's texts are read, and only as far as their byte count.
TEST_F(ClientTest, CopyDataIsReadOnlyFromTheMessengerAndWithinItsSize) {
    LogCapture log;
    givenWindow.Create(L"SkypeClientTest.GivenWindow");  // the client uses it and closes it
    NewClient(&givenWindow);
    HWND own = client->GetWindowHandle();
    ASSERT_EQ(own, givenWindow.GetHwnd());
    HWND stranger = GetDesktopWindow();

    // Before attaching, a stranger is no candidate: its text is not even read.
    EXPECT_EQ(SendText(own, stranger, "CURRENTUSERHANDLE mallory"), 1);
    EXPECT_TRUE(log.Contains(" not found in list"));
    EXPECT_FALSE(log.Contains("S=>: CURRENTUSERHANDLE mallory"));

    client->Attach();
    ASSERT_TRUE(recorder->WaitFor("current " + me, kWait));
    recorder->Clear();
    EXPECT_EQ(SendText(own, stranger, "USER mallory ONLINESTATUS AWAY"), 0);
    EXPECT_EQ(SendText(own, stranger, "CONNSTATUS LOGGEDOUT"), 0);

    // A text without NUL that ends right before a page nobody may read, and a count short of it.
    HWND messenger = sim->Window(me);
    constexpr DWORD kPage = 4096;
    char* pages = static_cast<char*>(VirtualAlloc(nullptr, 2 * kPage, MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    ASSERT_TRUE(pages && VirtualProtect(pages + kPage, kPage, PAGE_NOACCESS, &old));
    std::string text = "USER bob ONLINESTATUS AWAY";
    char* start = pages + kPage - text.size();
    std::memcpy(start, text.data(), text.size());
    EXPECT_EQ(SendCopyData(own, messenger, start, static_cast<DWORD>(text.size())), 1);
    EXPECT_EQ(SendCopyData(own, messenger, start, static_cast<DWORD>(text.size() - 2)), 1);
    VirtualFree(pages, 0, MEM_RELEASE);

    // A NUL inside a NUL-terminated record ends the text; empty and missing data are ignored.
    char const terminated[] = "USER carol ONLINESTATUS ONLINE\0USER junk ONLINESTATUS AWAY";
    EXPECT_EQ(SendCopyData(own, messenger, terminated, sizeof(terminated)), 1);
    EXPECT_EQ(SendCopyData(own, messenger, "", 0), 1);
    EXPECT_EQ(SendCopyData(own, messenger, nullptr, 12), 1);
    EXPECT_EQ(EventsOf("USER dave ONLINESTATUS OFFLINE"),
              (Texts{"status bob 2", "status bob -1", "status carol 1", "status dave 0"}));
    EXPECT_EQ(client->GetCurrentUser(), me);
}

// Logged out, then found again by the re-attach thread; then gone without a word.
TEST_F(ClientTest, ALoggedOutOrVanishedMessengerEndsTheAttachment) {
    LogCapture log;
    Attach();
    sim->LogOut(me);
    ASSERT_TRUE(recorder->WaitFor("attach 4", kWait));
    EXPECT_EQ(recorder->Records(), (Texts{"logout", "attach 4"}));
    EXPECT_EQ(client->GetCurrentUser(), "logged out");
    EXPECT_EQ(CorvaneLogging::GetLoggerName(), "");
    EXPECT_FALSE(Mutex().IsLock(me));

    // The re-attach thread's next pass comes 10 s after Attach(): the only way to see it is to wait.
    sim->LogIn(me);
    ASSERT_TRUE(recorder->WaitFor("current " + me, 15000));

    recorder->Clear();
    sim->Vanish(me);
    // However many sends fail before the logout is carried out, it happens once.
    for (int i = 0; i < 3; ++i) {
        client->Send("PING");
    }
    ASSERT_TRUE(recorder->WaitFor("attach 4", kWait));
    EXPECT_FALSE(recorder->WaitFor("logout", 300, 2));
    EXPECT_EQ(recorder->Records(), (Texts{"logout", "attach 4"}));
    EXPECT_TRUE(log.Contains("Failed to send Skype message: "));
    client->Send("PING");
    EXPECT_TRUE(log.Contains("Plugin is not attached to Skype"));
}

// Idle ticks come on "SkypeEvent" at its high priority, about 20 a second (exact figures: the
// bench), also after a handler threw. The destructor wakes a handler waiting for a reply and
// waits for it to return, instead of killing the thread in the middle of it.
TEST_F(ClientTest, IdleTicksBoundedQueueAndTeardownOfTheEventThread) {
    LogCapture log;
    Attach();
    struct Watch : RecordLog {
        void OnIdle() {
            Add("tick " + Thread::GetCurrentThreadName() + " " +
                std::to_string(GetThreadPriority(GetCurrentThread())));
            throw std::runtime_error("tick");
        }
    } watch;
    client->OnIdle.Add(MakeDelegate<&Watch::OnIdle>(&watch));
    auto start = Clock::now();
    ASSERT_TRUE(watch.WaitFor("tick SkypeEvent " + std::to_string(THREAD_PRIORITY_HIGHEST), 10000, 21));
    EXPECT_NEAR(std::chrono::duration<double>(Clock::now() - start).count(), 1.7, 0.8);  // 20/22 to 20/8 s
    EXPECT_TRUE(log.Contains("ERROR in Skype idle handler: tick"));
    client->OnIdle.Remove(MakeDelegate<&Watch::OnIdle>(&watch));

    // Notifications pile up while "SkypeEvent" is busy: beyond the bound they are dropped, logged.
    SyncEvent release;
    OnceOnIdle blocker{[&] { release.Wait(INFINITE); }};
    client->OnIdle.Add(MakeDelegate<&OnceOnIdle::OnIdle>(&blocker));
    ASSERT_EQ(blocker.started.Wait(kWait), WAIT_OBJECT_0);
    constexpr int kExtra = 5;
    std::string const datagram = "APPLICATION corvane DATAGRAM bob:1 ";
    for (std::size_t i = 0; i < SkypeClient::kMaxQueuedTexts + kExtra; ++i) {
        sim->InjectNotification(me, datagram + std::to_string(i));
    }
    for (auto deadline = Clock::now() + std::chrono::seconds(30);
         log.Count("Notification queue full, dropped") < kExtra && Clock::now() < deadline;) {
        Sleep(50);
    }
    release.Set();
    EXPECT_EQ(log.Count("Notification queue full, dropped"), kExtra);
    EXPECT_TRUE(
        log.Contains("queue full, dropped: " + datagram + std::to_string(SkypeClient::kMaxQueuedTexts)));
    // The whole queue drains through "SkypeEvent" first: seconds on a busy machine.
    EXPECT_TRUE(recorder->WaitFor(
        "datagram corvane bob:1 " + std::to_string(SkypeClient::kMaxQueuedTexts - 1), 60000));

    sim->DropReplies(me, 1, "PING");
    SkypeClient* own = client.get();
    std::string error = "never returned";
    OnceOnIdle handler{[&] {
        SkypeCommand command("PING", 60000);
        error = ErrorText<SkypeError>([&] { own->Send(command); });
    }};
    client->OnIdle.Add(MakeDelegate<&OnceOnIdle::OnIdle>(&handler));
    ASSERT_TRUE(sim->WaitForCommand(me, "PING", kWait));
    start = Clock::now();
    recorder.reset();
    client.reset();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(error.rfind("Command timeout: ", 0), 0u) << error;
    EXPECT_FALSE(log.Contains("was terminated"));
}

// A messenger whose window thread hangs makes a send fail after the send time-out (a hung
// messenger is then a gone one), instead of hanging the sender for ever.
TEST_F(ClientTest, AHungMessengerDoesNotHangTheSender) {
    Attach();
    HANDLE thread =
        OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(sim->Window(me), nullptr));
    ASSERT_NE(SuspendThread(thread), static_cast<DWORD>(-1));
    WorkerThread sent([this] { client->Send("PING"); });
    bool returned = sent.Join(15000);
    ResumeThread(thread);
    CloseHandle(thread);
    sent.Join();
    EXPECT_TRUE(returned);
    EXPECT_TRUE(recorder->WaitFor("logout", kWait));
}

// A lost reply times out, an error reply raises, a command id already waiting is refused; late,
// unawaited and reply-like texts are dropped without a word.
TEST_F(ClientTest, TimeOutsErrorRepliesAndLateReplies) {
    LogCapture log;
    Attach();
    sim->DropReplies(me, 1, "PING");
    SkypeCommand lost("PING", 100);
    ExpectSkypeError([&] { client->Send(lost); }, "Command timeout: " + lost.GetText());
    sim->FailCommands(me, "PING", "ERROR 99 PING: broken", 1);
    ExpectSkypeError([&] { client->SendCommand("PING", false); }, "Command error: ERROR 99 PING: broken");
    EXPECT_NO_THROW(client->Send("PING", "PONG", 1000));
    ExpectSkypeError([&] { client->Send("PING", "PANG", 1000); }, "Unexpected response");

    // The first of two commands under one id, unanswered, times out rather than taking the
    // second's reply.
    auto fixed = +[](std::string& id) { id = "#same "; };
    SkypeCommandId::OnGenerate.Add(fixed);
    sim->DropReplies(me, 1, "PING");
    sim->ClearCommands(me);
    SkypeCommand first("PING", 500);
    SkypeCommand second("PING", 500);
    SkypeCommandId::OnGenerate.Remove(fixed);
    std::string firstError;
    WorkerThread waiting([&] { firstError = ErrorText<SkypeError>([&] { client->Send(first); }); });
    ASSERT_TRUE(sim->WaitForCommand(me, "PING", kWait));
    ExpectSkypeError([&] { client->Send(second); }, "Command id already waiting: #same PING");
    waiting.Join();
    EXPECT_EQ(firstError, "Command timeout: #same PING");

    sim->DelayReplies(me, 300, "PING");
    auto late = std::make_unique<SkypeCommand>("PING", 30);
    std::string const lateId = late->GetId();
    EXPECT_THROW(client->Send(*late), SkypeError);
    late.reset();  // gone long before its reply
    // Delayed as well, so its reply comes after the late one.
    EXPECT_EQ(client->SendCommand("PING", false), "PONG");
    EXPECT_TRUE(log.Contains("S=>: " + lateId + "PONG"));
    EXPECT_EQ(SendText(client->GetWindowHandle(), sim->Window(me), "#zz PONG"), 1);
    EXPECT_EQ(SendText(client->GetWindowHandle(), sim->Window(me), "#noblank"), 1);
    EXPECT_EQ(EventsOf("USER bob ONLINESTATUS ONLINE"), Texts{"status bob 1"});
    EXPECT_EQ(log.Count("Processing reply #"), 0);
}

void ThrowingHandler(std::string const&, ISkypeEvents::AppDatagramData const& datagram) {
    if (std::string(datagram.data) == "number") {
        throw 42;
    }
    throw std::runtime_error(datagram.data);
}

// A handler that throws stops neither the thread nor the rest of the batch.
TEST_F(ClientTest, EveryNotificationFormRaisesItsEvent) {
    struct Case {
        char const* text;
        Texts events;
        char const* logged;  // "": nothing expected in the log
    } const cases[] = {
        {"APPLICATION corvane STREAMS alice:1 bob:3", {"streams corvane alice:1 bob:3"}, ""},
        {"APPLICATION corvane STREAMS  alice:1   bob:3:4", {"streams corvane alice:1 bob:3:4"}, ""},
        {"APPLICATION corvane STREAMS alice:1 alice", {}, "Invalid name/id pair: alice"},
        {"APPLICATION corvane RECEIVED alice:2=120 bob:7=1", {"received corvane alice:2 bob:7"}, ""},
        {"APPLICATION corvane RECEIVED alice:2", {}, "Invalid name/id pair: 2"},
        {"APPLICATION corvane RECEIVED", {}, ""},
        {"APPLICATION corvane SENDING alice:1=5000 bob:2=x", {"sending corvane alice:1=5000 bob:2=0"}, ""},
        {"APPLICATION corvane SENDING", {"sending corvane"}, ""},
        {"APPLICATION corvane DATAGRAM alice:2 hello world",
         {"datagram corvane alice:2 hello world"},
         "ERROR processing Skype reply `APPLICATION corvane DATAGRAM alice:2 hello world`: hello world"},
        {"APPLICATION corvane DATAGRAM bob:1 number",
         {"datagram corvane bob:1 number"},
         "UNHANDLED ERROR processing Skype reply `APPLICATION corvane DATAGRAM bob:1 number`"},
        {"APPLICATION corvane DATAGRAM alice:2", {"datagram corvane alice:2 "}, ""},
        {"APPLICATION corvane DATAGRAM alice hello", {}, "Invalid name/id pair: alice"},
        {"APPLICATION corvane", {}, "Invalid property data from Skype: APPLICATION corvane"},
        {"USER alice ONLINESTATUS AWAY", {"status alice 2"}, ""},
        {"USER alice ONLINESTATUS online", {"status alice -1"}, ""},
        {"USER alice ONLINESTATUS", {}, ""},
        {"USER alice FULLNAME Alice Example", {}, ""},
        {"USER alice", {}, "Invalid property data from Skype: USER alice"},
        {"CONNSTATUS ONLINE", {}, ""},
        {"attach", {"attach 1"}, ""},
        // The handle the messenger names is the current user from then on.
        {"CURRENTUSERHANDLE carol", {"current carol"}, ""},
        {"currentuser", {"current carol"}, ""},
    };
    Attach();
    client->OnAppDatagram.Add(&ThrowingHandler);
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text);
        LogCapture log;
        EXPECT_EQ(EventsOf(c.text), c.events);
        EXPECT_TRUE(!*c.logged || log.Contains(c.logged));
    }
    client->OnAppDatagram.Remove(&ThrowingHandler);
    EXPECT_EQ(client->GetCurrentUser(), "carol");
}

std::string PngOf(int width, int height) {
    std::vector<unsigned char> bytes = Picture(width, height).Encode(Picture::Format::Png);
    return std::string(bytes.begin(), bytes.end());
}

TEST_F(ClientTest, FriendsTheirOnlineFlagNameAndAvatar) {
    Attach();
    Texts friends{"kept"};
    client->GetFriends(friends);
    EXPECT_EQ(friends, Texts{"kept"});  // "USERS " with nobody after it
    AddContact("bob", PngOf(40, 20));
    AddContact("carol");
    sim->SetOnlineStatus("carol", "OFFLINE");
    AddContact("dave", "not a picture");
    AddContact("..\\escape", PngOf(8, 8));
    friends.clear();
    client->GetFriends(friends);
    EXPECT_EQ(friends, (Texts{"..\\escape", "bob", "carol", "dave"}));

    auto shown = [this](std::string const& user, bool avatar) {
        ISkypeClient::UserInfo info = client->GetUserInfo(user, avatar);
        return std::to_string(info.online) + " " + info.fullName + " " + info.avatarPath;
    };
    std::string const folder = FileHelper::CombinePath(FileHelper::GetModulePath(), "avatars") + "\\";
    EXPECT_EQ(shown("bob", false), "1 bob Example ");
    EXPECT_EQ(shown("carol", true), "0 carol Example ");  // no picture, no file
    EXPECT_EQ(shown("nobody", false), "-1  ");
    // The picture goes beside the program; the thumbnail beside the picture.
    EXPECT_EQ(shown("bob", true), "1 bob Example " + folder + "bob");
    ISkypeClient::UserInfo bob = client->GetUserInfo("bob", true);
    EXPECT_EQ(ReadWholeFile(bob.avatarPath), PngOf(40, 20));
    boost::shared_ptr<Picture> full;
    boost::shared_ptr<Picture> thumbnail;
    std::string thumbnailPath = GetAndConvertAvatar(*client, "bob", &full, &thumbnail);
    EXPECT_EQ(thumbnailPath, folder + "bob.thumb.png");
    ASSERT_TRUE(full && thumbnail);
    EXPECT_EQ(full->GetWidth() * 1000 + thumbnail->GetHeight(), 40008);
    EXPECT_EQ(Picture::Load(StringHelper::StrToWstr(thumbnailPath)).GetHeight(), 8);
    EXPECT_EQ(GetAndConvertAvatar(bob, nullptr, nullptr), thumbnailPath);

    // An old picture goes before the messenger is asked: no picture now, no path.
    sim->SetAvatar("bob", std::string());
    EXPECT_EQ(shown("bob", true), "1 bob Example ");
    EXPECT_EQ(GetFileAttributesA((folder + "bob").c_str()), INVALID_FILE_ATTRIBUTES);

    // Nothing to convert, or nothing that converts: no thumbnail and no error. A picture over
    // a megapixel is not decoded at all (resampling costs 16 bytes a pixel).
    sim->SetAvatar("bob", PngOf(1025, 1024));
    EXPECT_EQ(GetAndConvertAvatar(*client, "bob", nullptr, nullptr), "");
    EXPECT_EQ(GetAndConvertAvatar(*client, "carol", nullptr, nullptr), "");
    EXPECT_EQ(GetAndConvertAvatar(*client, "dave", &full, nullptr), "");
    sim->FailCommands(me, "GET USER bob AVATAR", "ERROR 115 not written");
    EXPECT_EQ(GetAndConvertAvatar(*client, "bob", nullptr, nullptr), "");
    ExpectSkypeError([&] { client->GetUserInfo("bob", true); }, "Command error: ERROR 115 not written");

    // A handle from the messenger names one file inside the folder, never a path.
    EXPECT_EQ(client->GetUserInfo("..\\escape", true).avatarPath, folder + ".._escape");
    for (std::string name : {"bob", "dave", ".._escape"}) {
        DeleteFileA((folder + name).c_str());
        DeleteFileA((folder + name + ".thumb.png").c_str());
    }
}

class SkypeApplicationTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(peers.Attach("alice") && peers.Attach("bob")); }

    // The user's application "corvane", with a recorder of its events.
    SkypeApplication* Open(std::string const& user) {
        apps[user] = std::make_unique<SkypeApplication>(&peers.Client(user), "corvane");
        recorders[user] = std::make_unique<EventRecorder>(peers.Client(user), apps[user].get());
        return apps[user].get();
    }
    Texts EventsOf(Texts const& texts) {
        return MarkedEvents(peers.Simulator(), "alice", *recorders["alice"], texts);
    }

    // Destroyed in reverse: recorders, then applications, then the network.
    SimulatedPeers peers{{"alice", "bob", "carol"}};
    std::map<std::string, std::unique_ptr<SkypeApplication>> apps;
    std::map<std::string, std::unique_ptr<EventRecorder>> recorders;
};

// Stream lists, send reports and data as one application sees them; at the end, a handler that
// ends the application while it reports several lost connections: it reports nothing more, and
// touches nothing of itself.
TEST_F(SkypeApplicationTest, StreamListsSendReportsAndDataAsTheApplicationSeesThem) {
    auto app = Open("alice");
    LogCapture log;
    EXPECT_EQ(EventsOf({"APPLICATION corvane STREAMS bob:1"}), Texts{"success bob"});
    EXPECT_TRUE(app->IsConnected("bob"));
    EXPECT_EQ(EventsOf({"APPLICATION corvane STREAMS bob:1", "APPLICATION other STREAMS"}), Texts{});
    DWORD const started = GetTickCount();
    for (int burst = 1; burst <= 6; ++burst) {
        EventsOf({"APPLICATION corvane SENDING bob:1=10000"});
        Sleep(20);  // the burst's duration, measured by the application
        EventsOf({"APPLICATION corvane SENDING"});
        EXPECT_EQ(app->GetBandwidthInfo("bob").bytesPerSecond > 0, burst == 6) << "burst " << burst;
    }
    double const elapsed = (GetTickCount() - started) / 1000.0;
    int const throughput = app->GetBandwidthInfo("bob").bytesPerSecond;
    // 60000 bytes over bursts lasting at least 6 x 20 ms, and no longer than the whole test;
    // the margins are the clock's granularity and a loaded machine (exact figures: the bench).
    EXPECT_LE(throughput, 60000 / 0.06);
    EXPECT_GE(throughput, static_cast<int>(60000 / elapsed / 2));
    EXPECT_EQ(app->GetBandwidthInfo("carol").bytesPerSecond, 0);

    EXPECT_EQ(EventsOf({"APPLICATION corvane SENDING bob:1=5000", "APPLICATION corvane SENDING bob:1=3000"}),
              Texts{});
    EXPECT_EQ(app->GetSendingSize("bob"), 3000);
    EXPECT_EQ(EventsOf({"APPLICATION corvane SENDING bob:1=1500"}), Texts{"finished bob"});
    // Below the threshold already: a report of 0 is no news, but a stream no longer listed is.
    EXPECT_EQ(EventsOf({"APPLICATION corvane SENDING bob:1=0"}), Texts{});
    EXPECT_EQ(EventsOf({"APPLICATION corvane SENDING bob:1=1500", "APPLICATION corvane SENDING"}),
              Texts{"finished bob"});
    EXPECT_EQ(app->GetSendingSize("bob"), 0);
    // The threshold is 2000 bytes exactly: 2000 still waits, 1999 has drained.
    EXPECT_EQ(EventsOf({"APPLICATION corvane SENDING bob:1=5000", "APPLICATION corvane SENDING bob:1=2000"}),
              Texts{});
    EXPECT_EQ(EventsOf({"APPLICATION corvane SENDING bob:1=1999"}), Texts{"finished bob"});
    EXPECT_EQ(app->GetSendingSize("carol"), 0);
    EXPECT_TRUE(log.Contains("AP2AP: corvane User not registered: carol"));

    EXPECT_EQ(
        EventsOf({"APPLICATION corvane DATAGRAM bob:2 not ours", "APPLICATION corvane DATAGRAM bob:1 ours"}),
        Texts{"data bob ours"});
    EXPECT_TRUE(log.Contains("AP2AP: corvane User not registered: bob"));
    EXPECT_EQ(EventsOf({"APPLICATION corvane STREAMS bob:2 carol:4"}),
              (Texts{"success bob", "success carol"}));
    EXPECT_EQ(EventsOf({"APPLICATION corvane STREAMS carol:4"}), Texts{"failure bob"});
    EXPECT_FALSE(app->IsConnected("bob"));
    // A user listed twice keeps the last id.
    EXPECT_EQ(EventsOf({"APPLICATION corvane STREAMS carol:4 bob:5 bob:6"}), Texts{"success bob"});
    app->SendDatagram("bob", "x");
    EXPECT_TRUE(
        peers.Simulator().WaitForCommand("alice", "ALTER APPLICATION corvane DATAGRAM bob:6 x", kWait));

    // A vanished stream also forgets the request; writing to it raises before anything is sent.
    app->Connect("bob");
    EXPECT_EQ(EventsOf({"APPLICATION corvane STREAMS"}), (Texts{"failure bob", "failure carol"}));
    peers.Simulator().ClearCommands("alice");
    ExpectSkypeError([&] { app->Write("bob", "hello"); }, "AP2AP: User not registered: bob");
    ExpectSkypeError([&] { app->SendDatagram("bob", "hello"); }, "AP2AP: User not registered: bob");
    ExpectSkypeError([&] { app->Disconnect("bob"); }, "Connection for user bob is not requested");
    EXPECT_TRUE(peers.Simulator().Commands("alice").empty());

    // Data from a requested user before the stream list: the stream is taken from the data;
    // from a user not requested it is dropped.
    app->Connect("carol");
    EXPECT_EQ(
        EventsOf({"APPLICATION corvane DATAGRAM carol:7 early", "APPLICATION corvane DATAGRAM dave:3 who"}),
        (Texts{"success carol", "data carol early"}));
    EXPECT_TRUE(log.Contains("AP2AP: receive without connect: connect success: carol"));

    EXPECT_EQ(EventsOf({"APPLICATION corvane STREAMS bob:1 carol:7"}), Texts{"success bob"});
    struct Closer {
        std::remove_pointer_t<decltype(this)>* test;
        int calls = 0;
        void OnFailure(std::string const&, ISkypeApplication*) {
            ++calls;
            test->recorders.erase("alice");
            test->apps.erase("alice");
        }
    } closer{this};
    app->OnConnectFailure.Add(MakeDelegate<&Closer::OnFailure>(&closer));
    EventRecorder client(peers.Client("alice"));
    EXPECT_EQ(MarkedEvents(peers.Simulator(), "alice", client, {"APPLICATION corvane STREAMS"}),
              Texts{"streams corvane"});
    EXPECT_EQ(closer.calls, 1);
}

// Opening asks for the streams, then creates the application; closing disconnects every
// requested user and deletes it, failures only logged.
TEST_F(SkypeApplicationTest, TwoPeersExchangeTextBothWaysWithFlowControl) {
    peers.Simulator().SetRate("alice", 200000);
    peers.Simulator().ClearCommands("alice");
    auto alice = Open("alice");
    auto bob = Open("bob");
    alice->Connect("bob");
    ASSERT_TRUE(recorders["alice"]->WaitFor("success bob", kWait));
    ASSERT_TRUE(recorders["bob"]->WaitFor("success alice", kWait));
    Texts commands = peers.Simulator().Commands("alice");
    commands.resize(2);
    EXPECT_EQ(commands, (Texts{"GET APPLICATION corvane STREAMS", "CREATE APPLICATION corvane"}));

    std::string const big(30000, 'z');
    std::string const third = "third: with colons and \\ backslashes";
    alice->Write("bob", "first");
    alice->Write("bob", big);
    alice->Write("bob", third);
    bob->Write("alice", "reply");
    bob->SendDatagram("alice", "a datagram");
    ASSERT_TRUE(recorders["bob"]->WaitFor("data alice " + third, kWait));
    ASSERT_TRUE(recorders["alice"]->WaitFor("data bob a datagram", kWait));
    Texts received = recorders["bob"]->Records();
    received.erase(std::remove(received.begin(), received.end(), "finished alice"), received.end());
    EXPECT_EQ(received,
              (Texts{"success alice", "data alice first", "data alice " + big, "data alice " + third}));
    EXPECT_TRUE(recorders["alice"]->WaitFor("data bob reply", kWait));
    // 30000 bytes at 200 KB/s: the send buffer drains, and the flow control says so.
    EXPECT_TRUE(recorders["alice"]->WaitFor("finished bob", kWait));

    alice->Disconnect("bob");
    EXPECT_TRUE(recorders["bob"]->WaitFor("failure alice", kWait));

    LogCapture log;
    alice->Connect("carol");
    peers.Simulator().FailCommands("alice", "ALTER APPLICATION corvane DISCONNECT",
                                   "ERROR 545 no such stream");
    recorders.erase("alice");
    apps.erase("alice");
    EXPECT_TRUE(log.Contains("Error in ~SkypeApplication: Command error: ERROR 545 no such stream"));
    EXPECT_TRUE(peers.Simulator().WaitForCommand("alice", "DELETE APPLICATION corvane", kWait));
}

}  // namespace
