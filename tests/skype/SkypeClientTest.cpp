#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <sstream>

#include "LogCapture.h"
#include "SkypeTestSupport.h"
#include "WorkerThread.h"
#include "foundation/CorvaneLogging.h"
#include "foundation/Mutex.h"
#include "foundation/SyncEvent.h"
#include "foundation/Thread.h"
#include "skype/SkypeCommand.h"

namespace skype_test {
namespace {

using Clock = std::chrono::steady_clock;
using Texts = std::vector<std::string>;

bool IsTaken(std::string const& name) {
    Mutex probe;
    return probe.IsLock(name);
}

// Runs `body` once on "SkypeEvent", from the client's idle tick.
struct OnceOnIdle {
    explicit OnceOnIdle(std::function<void()> run) : body(std::move(run)) {}
    std::function<void()> body;
    SyncEvent started;
    void OnIdle() {
        if (body) {
            std::function<void()> run = std::move(body);
            body = nullptr;
            started.Set();
            run();
        }
    }
};

using AttachTest = ClientTest;

// The logger name is the process's: a client gives back only the name it set itself.
TEST_F(AttachTest, SuccessNamesTheUserAndTakesTheAccount) {
    CorvaneLogging::SetLoggerName("host");
    NewClient();
    EXPECT_EQ(client->GetAttachStatus(), ISkypeClient::AttachNone);
    EXPECT_EQ(client->GetCurrentUser(), "logged out");
    NewClient();
    EXPECT_EQ(CorvaneLogging::GetLoggerName(), "host");

    client->Attach();
    client->Attach();  // already running: no second thread, no second broadcast
    ASSERT_TRUE(recorder->WaitFor("current " + me));
    EXPECT_EQ(recorder->Records(), (Texts{"attach 1", "current " + me}));
    EXPECT_EQ(client->GetAttachStatus(), ISkypeClient::AttachSuccess);
    EXPECT_EQ(client->GetCurrentUser(), me);
    EXPECT_EQ(CorvaneLogging::GetLoggerName(), me);
    EXPECT_EQ(sim->Commands(me), Texts{"GET CURRENTUSERHANDLE"});
    EXPECT_TRUE(IsTaken(me));

    // Once a window is chosen, later reports change nothing.
    UINT attachMessage = RegisterWindowMessageW(account.attachMessage.c_str());
    for (LPARAM status : {2, 3, 1, 0}) {
        SendMessageW(client->GetWindowHandle(), attachMessage, reinterpret_cast<WPARAM>(sim->Window(me)),
                     status);
    }
    EXPECT_EQ(client->GetAttachStatus(), ISkypeClient::AttachSuccess);
    EXPECT_EQ(sim->Commands(me).size(), 1u);

    recorder.reset();
    client.reset();
    EXPECT_FALSE(IsTaken(me));
    EXPECT_EQ(CorvaneLogging::GetLoggerName(), "");
}

TEST_F(AttachTest, StatusesReportedBeforeAWindowIsChosen) {
    struct Case {
        std::vector<AttachStep> script;
        Texts events;  // "current": the own handle
        unsigned replyDelay = 0;
    } const cases[] = {
        {{{1, 0}}, {"attach 2"}},
        {{{2, 0}}, {"attach 3"}},
        {{{3, 0}}, {"attach 4"}},
        // "API available" changes nothing: the report after it is the first event.
        {{{0x8001, 0}, {7, 0}, {2, 0}}, {"attach 3"}},
        {{{1, 0}, {1, 0}, {0, 100}}, {"attach 2", "attach 1", "current"}},
        // A second success before the first reply: asked twice, attached once.
        {{{0, 0}, {0, 50}}, {"attach 1", "current", "current"}, 300},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.events));
        sim->DelayReplies(me, c.replyDelay, "GET CURRENTUSERHANDLE");
        sim->SetAttachScript(me, c.script);
        sim->ClearCommands(me);
        NewClient();
        client->Attach();
        int const asked = static_cast<int>(std::count(c.events.begin(), c.events.end(), "current"));
        ASSERT_TRUE(asked ? recorder->WaitFor("current " + me, kWait, asked)
                          : recorder->WaitFor(c.events.back()));
        Texts events = recorder->Records();
        std::replace(events.begin(), events.end(), "current " + me, std::string("current"));
        EXPECT_EQ(events, c.events);
        EXPECT_EQ(sim->Commands(me), Texts(asked, "GET CURRENTUSERHANDLE"));
    }
}

// Only the messenger's texts are read, and only as far as their byte count.
TEST_F(AttachTest, CopyDataIsReadOnlyFromTheMessengerAndWithinItsSize) {
    LogCapture log;
    givenWindow.Create(L"SkypeClientTest.GivenWindow");  // the client uses it and closes it
    NewClient(&givenWindow);
    HWND own = client->GetWindowHandle();
    ASSERT_EQ(own, givenWindow.GetHwnd());
    HWND stranger = GetDesktopWindow();

    // Before attaching: only candidates are heard, and a stranger is none.
    EXPECT_EQ(SendText(own, stranger, "CURRENTUSERHANDLE mallory"), 1);
    std::stringstream expected;
    expected << "Skype window " << stranger << " not found in list";
    EXPECT_TRUE(log.Contains(expected.str()));
    EXPECT_FALSE(log.Contains("S=>: CURRENTUSERHANDLE mallory"));  // not even read
    EXPECT_EQ(client->GetAttachStatus(), ISkypeClient::AttachNone);

    client->Attach();
    ASSERT_TRUE(recorder->WaitFor("current " + me));
    recorder->Clear();
    // Attached: a stranger's text is not handled at all.
    EXPECT_EQ(SendText(own, stranger, "USER mallory ONLINESTATUS AWAY"), 0);
    EXPECT_EQ(SendText(own, stranger, "CONNSTATUS LOGGEDOUT"), 0);

    // A text without NUL that ends right before a page nobody may read.
    HWND messenger = sim->Window(me);
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    DWORD page = system.dwPageSize;
    char* pages =
        static_cast<char*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &old));
    std::string text = "USER bob ONLINESTATUS AWAY";
    char* start = pages + page - text.size();
    std::memcpy(start, text.data(), text.size());
    EXPECT_EQ(SendCopyData(own, messenger, start, static_cast<DWORD>(text.size())), 1);
    // A count short of the text takes only what it covers.
    EXPECT_EQ(SendCopyData(own, messenger, start, static_cast<DWORD>(text.size() - 2)), 1);
    VirtualFree(pages, 0, MEM_RELEASE);

    // A NUL inside a NUL-terminated record ends the text; empty and missing data are ignored.
    char const terminated[] = "USER carol ONLINESTATUS ONLINE\0USER junk ONLINESTATUS AWAY";
    EXPECT_EQ(SendCopyData(own, messenger, terminated, sizeof(terminated)), 1);
    EXPECT_EQ(SendCopyData(own, messenger, "", 0), 1);
    EXPECT_EQ(SendCopyData(own, messenger, nullptr, 12), 1);
    EXPECT_EQ(SendCopyData(own, messenger, "", 1), 1);

    EXPECT_EQ(EventsOf("USER dave ONLINESTATUS OFFLINE"),
              (Texts{"status bob 2", "status bob -1", "status carol 1", "status dave 0"}));
    EXPECT_EQ(client->GetCurrentUser(), me);
}

// A second instance for the same account (in another process as here) is refused while the
// first holds it, and gives the account up again at once: a third instance can take it when the
// first has gone, while the refused one still runs.
TEST_F(AttachTest, ASecondClientForTheSameUserStaysUnattached) {
    LogCapture log;
    Attach();
    SkypeClient second(nullptr, RegisterWindowMessageW(account.discoverMessage.c_str()),
                       RegisterWindowMessageW(account.attachMessage.c_str()));
    second.Attach();
    for (DWORD start = GetTickCount(); !log.Contains("is locked") && GetTickCount() - start < kWait;) {
        Sleep(20);  // the log has no event to wait on
    }
    EXPECT_TRUE(log.Contains("is locked"));
    EXPECT_EQ(second.GetAttachStatus(), ISkypeClient::AttachNone);
    EXPECT_EQ(second.GetCurrentUser(), "logged out");
    EXPECT_EQ(sim->Commands(me).size(), 2u);  // both asked for the handle

    NewClient();
    client->Attach();
    EXPECT_TRUE(recorder->WaitFor("current " + me));
}

// Logged out, then found again by the re-attach thread; then gone without a word.
TEST_F(AttachTest, ALoggedOutOrVanishedMessengerEndsTheAttachment) {
    LogCapture log;
    Attach();
    EXPECT_TRUE(EventsOf("CONNSTATUS ONLINE").empty());
    sim->LogOut(me);
    ASSERT_TRUE(recorder->WaitFor("attach 4"));
    EXPECT_EQ(recorder->Records(), (Texts{"logout", "attach 4"}));
    EXPECT_EQ(client->GetAttachStatus(), ISkypeClient::AttachNotAvailable);
    EXPECT_EQ(client->GetCurrentUser(), "logged out");
    EXPECT_EQ(CorvaneLogging::GetLoggerName(), "");
    EXPECT_FALSE(IsTaken(me));

    // The re-attach thread's next pass comes 10 s after Attach(): the only way to see it is to wait.
    sim->LogIn(me);
    ASSERT_TRUE(recorder->WaitFor("current " + me, 15000));
    EXPECT_EQ(client->GetAttachStatus(), ISkypeClient::AttachSuccess);

    recorder->Clear();
    sim->Vanish(me);
    // However many sends fail before the logout is carried out, it happens once.
    for (int i = 0; i < 3; ++i) {
        client->Send("PING");
    }
    ASSERT_TRUE(recorder->WaitFor("attach 4"));
    EXPECT_FALSE(recorder->WaitFor("logout", 300, 2));
    EXPECT_EQ(recorder->Records(), (Texts{"logout", "attach 4"}));
    EXPECT_TRUE(log.Contains("Failed to send Skype message: "));
    // Not attached any more: nothing is sent, and a command waits out its time.
    client->Send("PING");
    EXPECT_TRUE(log.Contains("Plugin is not attached to Skype"));
    SkypeCommand command("PING", 50);
    ExpectSkypeError([&] { client->Send(command); }, "Command timeout: " + command.GetText());
}

using LifetimeTest = ClientTest;

// A handler that waits for a reply while the client is destroyed: the destructor wakes it and
// waits for it to return, instead of killing the thread in the middle of it.
TEST_F(LifetimeTest, DestroyingTheClientWakesACommandWaitingOnItsThread) {
    LogCapture log;
    Attach();
    sim->DropReplies(me, 1, "PING");
    SkypeClient* own = client.get();
    std::string error = "never returned";
    OnceOnIdle handler{[&] {
        SkypeCommand command("PING", 60000);
        error = ErrorText<SkypeError>([&] { own->Send(command); });
    }};
    client->OnIdle.Add(MakeDelegate<&OnceOnIdle::OnIdle>(&handler));
    ASSERT_TRUE(sim->WaitForCommand(me, "PING", kWait));
    auto start = Clock::now();
    recorder.reset();
    client.reset();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(error.rfind("Command timeout: ", 0), 0u) << error;
    EXPECT_FALSE(log.Contains("was terminated"));
}

// A messenger whose window thread hangs makes a send fail after the send time-out (a hung
// messenger is then a gone one), instead of hanging the sender for ever.
TEST_F(LifetimeTest, AHungMessengerDoesNotHangTheSender) {
    Attach();
    DWORD simThread = GetWindowThreadProcessId(sim->Window(me), nullptr);
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, simThread);
    ASSERT_NE(thread, nullptr);
    ASSERT_NE(SuspendThread(thread), static_cast<DWORD>(-1));
    WorkerThread sent([this] { client->Send("PING"); });
    bool returned = sent.Join(15000);
    ResumeThread(thread);
    CloseHandle(thread);
    sent.Join();
    EXPECT_TRUE(returned);
    EXPECT_TRUE(recorder->WaitFor("logout"));
}

// Notifications pile up while "SkypeEvent" is busy: beyond the bound they are dropped, logged.
TEST_F(LifetimeTest, TheNotificationQueueIsBounded) {
    LogCapture log;
    Attach();
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
    client->OnIdle.Remove(MakeDelegate<&OnceOnIdle::OnIdle>(&blocker));
}

using CommandTest = ClientTest;

TEST_F(CommandTest, RepliesReachTheirOwnCommandsWhileSeveralThreadsWait) {
    constexpr int kUsers = 8;
    for (int i = 0; i < kUsers; ++i) {
        AddContact("user" + std::to_string(i));
    }
    Attach();
    // Some replies are overtaken by later ones.
    sim->DelayReplies(me, 150, "GET USER user0");
    sim->DelayReplies(me, 60, "GET USER user5");
    for (int round = 0; round < 3; ++round) {
        Texts replies(kUsers);
        std::vector<WorkerThread> threads;
        for (int i = 0; i < kUsers; ++i) {
            threads.emplace_back([this, &replies, i] {
                try {
                    replies[i] =
                        client->SendCommand("GET USER user" + std::to_string(i) + " FULLNAME", false);
                } catch (std::exception const& error) {
                    replies[i] = error.what();
                }
            });
        }
        for (int i = 0; i < kUsers; ++i) {
            threads[i].Join();
            std::string user = "user" + std::to_string(i);
            EXPECT_EQ(replies[i], "USER " + user + " FULLNAME " + user + " Example") << round;
        }
    }
}

// A lost reply times out, an error reply raises; a reply after its time-out, a reply nobody
// waits for and a text that only looks like one are dropped without a word.
TEST_F(CommandTest, TimeOutsErrorRepliesAndLateReplies) {
    LogCapture log;
    Attach();
    sim->DropReplies(me, 1, "PING");
    SkypeCommand lost("PING", 100);
    ExpectSkypeError([&] { client->Send(lost); }, "Command timeout: " + lost.GetText());
    sim->FailCommands(me, "PING", "ERROR 99 PING: broken", 1);
    ExpectSkypeError([&] { client->SendCommand("PING", false); }, "Command error: ERROR 99 PING: broken");
    EXPECT_NO_THROW(client->Send("PING", "PONG", 1000));
    ExpectSkypeError([&] { client->Send("PING", "PANG", 1000); }, "Unexpected response");

    sim->DelayReplies(me, 300, "PING");
    std::string lateId;
    {
        auto command = std::make_unique<SkypeCommand>("PING", 30);
        lateId = command->GetId();
        EXPECT_THROW(client->Send(*command), SkypeError);
    }  // gone long before its reply
    // Delayed as well, so its reply comes after the late one.
    EXPECT_EQ(client->SendCommand("PING", false), "PONG");
    EXPECT_TRUE(log.Contains("S=>: " + lateId + "PONG"));

    HWND messenger = sim->Window(me);
    EXPECT_EQ(SendText(client->GetWindowHandle(), messenger, "#zz PONG"), 1);
    EXPECT_EQ(SendText(client->GetWindowHandle(), messenger, "#noblank"), 1);
    EXPECT_EQ(EventsOf("USER bob ONLINESTATUS ONLINE"), Texts{"status bob 1"});
    EXPECT_EQ(log.Count("Processing reply #"), 0);
}

// Two commands under one id: the second is refused, and the first, unanswered, times out
// rather than being taken as answered.
TEST_F(CommandTest, ACommandIdAlreadyWaitingIsNotTakenOver) {
    Attach();
    auto fixed = +[](std::string& id) { id = "#same "; };
    SkypeCommandId::OnGenerate.Add(fixed);
    sim->DropReplies(me, 1, "PING");
    SkypeCommand first("PING", 500);
    SkypeCommand second("PING", 500);
    SkypeCommandId::OnGenerate.Remove(fixed);
    std::string firstError;
    WorkerThread waiting([&] { firstError = ErrorText<SkypeError>([&] { client->Send(first); }); });
    ASSERT_TRUE(sim->WaitForCommand(me, "PING", kWait));
    ExpectSkypeError([&] { client->Send(second); }, "Command id already waiting: #same PING");
    waiting.Join();
    EXPECT_EQ(firstError, "Command timeout: #same PING");
}

using NotificationTest = ClientTest;

TEST_F(NotificationTest, EveryFormRaisesItsEvent) {
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
        {"APPLICATION corvane DATAGRAM alice:2 hello world", {"datagram corvane alice:2 hello world"}, ""},
        {"APPLICATION corvane DATAGRAM alice:2", {"datagram corvane alice:2 "}, ""},
        {"APPLICATION corvane DATAGRAM alice hello", {}, "Invalid name/id pair: alice"},
        {"APPLICATION corvane CONNECTING bob", {}, ""},
        {"APPLICATION corvane", {}, "Invalid property data from Skype: APPLICATION corvane"},
        {"USER alice ONLINESTATUS AWAY", {"status alice 2"}, ""},
        {"USER alice ONLINESTATUS LOGGEDOUT", {"status alice 6"}, ""},
        {"USER alice ONLINESTATUS online", {"status alice -1"}, ""},
        {"USER alice ONLINESTATUS", {}, ""},
        {"USER alice FULLNAME Alice Example", {}, ""},
        {"USER alice", {}, "Invalid property data from Skype: USER alice"},
        {"CONNSTATUS ONLINE", {}, ""},
        {"attach", {"attach 1"}, ""},
    };
    Attach();
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text);
        LogCapture log;
        EXPECT_EQ(EventsOf(c.text), c.events);
        EXPECT_TRUE(!*c.logged || log.Contains(c.logged));
    }
    EXPECT_EQ(client->GetAttachStatus(), ISkypeClient::AttachSuccess);

    // The handle the messenger names is the current user from then on.
    EXPECT_EQ(EventsOf("CURRENTUSERHANDLE carol"), Texts{"current carol"});
    EXPECT_EQ(client->GetCurrentUser(), "carol");
    EXPECT_EQ(EventsOf("currentuser"), Texts{"current carol"});
}

// Throws what the datagram's data names.
void ThrowingHandler(std::string const&, ISkypeEvents::AppDatagramData const& datagram) {
    if (std::string(datagram.data) == "number") {
        throw 42;
    }
    throw std::runtime_error(datagram.data);
}

TEST_F(NotificationTest, AFailingHandlerStopsNeitherTheThreadNorTheBatch) {
    LogCapture log;
    Attach();
    client->OnAppDatagram.Add(&ThrowingHandler);
    sim->InjectNotification(me, "APPLICATION corvane DATAGRAM bob:1 number");
    sim->InjectNotification(me, "APPLICATION corvane DATAGRAM bob:1 words");
    EXPECT_EQ(EventsOf("USER bob ONLINESTATUS AWAY"),
              (Texts{"datagram corvane bob:1 number", "datagram corvane bob:1 words", "status bob 2"}));
    client->OnAppDatagram.Remove(&ThrowingHandler);
    EXPECT_TRUE(
        log.Contains("UNHANDLED ERROR processing Skype reply `APPLICATION corvane DATAGRAM bob:1 number`"));
    EXPECT_TRUE(
        log.Contains("ERROR processing Skype reply `APPLICATION corvane DATAGRAM bob:1 words`: words"));
}

// Idle ticks come on "SkypeEvent" at its high priority, and a handler that throws does not end
// them. Nominally 20 a second; a loaded machine delays ticks but never adds any (exact figures:
// the bench).
TEST_F(NotificationTest, IdleTicksComeAboutTwentyTimesASecond) {
    LogCapture log;
    NewClient();
    struct Watch : RecordLog {
        void OnIdle() {
            Add("tick " + Thread::GetCurrentThreadName() + " " +
                std::to_string(GetThreadPriority(GetCurrentThread())));
            throw std::runtime_error("tick");  // must not end the ticks
        }
    } watch;
    client->OnIdle.Add(MakeDelegate<&Watch::OnIdle>(&watch));
    auto start = std::chrono::steady_clock::now();
    bool came = watch.WaitFor("tick SkypeEvent " + std::to_string(THREAD_PRIORITY_HIGHEST), 10000, 21);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    recorder.reset();
    client.reset();
    ASSERT_TRUE(came);
    EXPECT_GT(seconds, 20 / 22.0);
    EXPECT_LT(seconds, 20 / 8.0);
    EXPECT_TRUE(log.Contains("ERROR in Skype idle handler: tick"));
}

}  // namespace
}  // namespace skype_test
