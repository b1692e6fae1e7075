#include <atomic>
#include <chrono>

#include "LogCapture.h"
#include "SkypeTestSupport.h"
#include "WorkerThread.h"
#include "foundation/CorvaneLogging.h"
#include "skype/SkypeCommand.h"

namespace skype_test {
namespace {

using LifetimeTest = ClientTest;
using Clock = std::chrono::steady_clock;
constexpr unsigned kDrainWaitMs = 60000;

// Blocks "SkypeEvent" in its idle handler until released.
struct EventThreadBlocker {
    std::atomic<bool> blocking{true};
    HANDLE entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~EventThreadBlocker() {
        CloseHandle(entered);
        CloseHandle(release);
    }
    void OnIdle() {
        if (blocking) {
            SetEvent(entered);
            WaitForSingleObject(release, INFINITE);
        }
    }
};

// A handler that waits for a reply while the client is destroyed: the destructor wakes it and
// waits for it to return, instead of killing the thread in the middle of it.
TEST_F(LifetimeTest, DestroyingTheClientWakesACommandWaitingOnItsThread) {
    LogCapture log;
    Attach();
    sim->DropReplies(me, 1, "PING");
    std::atomic<int> handlerEnded{0};
    HANDLE waiting = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::string error;
    struct Handler {
        SkypeClient* client;
        HANDLE waiting;
        std::atomic<int>* ended;
        std::string* error;
        bool sent = false;
        void OnIdle() {
            if (sent) {
                return;
            }
            sent = true;
            SkypeCommand command("PING", 60000);
            SetEvent(waiting);
            try {
                client->Send(command);
            } catch (SkypeError const& e) {
                *error = e.what();
            }
            ++*ended;
        }
    } handler{client.get(), waiting, &handlerEnded, &error};
    client->OnIdle.Add(MakeDelegate<&Handler::OnIdle>(&handler));
    ASSERT_EQ(WaitForSingleObject(waiting, kWait), WAIT_OBJECT_0);
    EXPECT_TRUE(sim->WaitForCommand(me, "PING", kWait));
    auto start = Clock::now();
    recorder.reset();
    client.reset();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(handlerEnded, 1);
    EXPECT_EQ(error.rfind("Command timeout: ", 0), 0u) << error;
    EXPECT_FALSE(log.Contains("was terminated"));
    CloseHandle(waiting);
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
    EventThreadBlocker blocker;
    client->OnIdle.Add(MakeDelegate<&EventThreadBlocker::OnIdle>(&blocker));
    ASSERT_EQ(WaitForSingleObject(blocker.entered, kWait), WAIT_OBJECT_0);
    constexpr int kExtra = 5;
    for (std::size_t i = 0; i < SkypeClient::kMaxQueuedTexts + kExtra; ++i) {
        sim->InjectNotification(me, "APPLICATION corvane DATAGRAM bob:1 " + std::to_string(i));
    }
    auto deadline = Clock::now() + std::chrono::seconds(30);
    while (log.Count("Notification queue full, dropped") < kExtra && Clock::now() < deadline) {
        Sleep(50);
    }
    blocker.blocking = false;
    SetEvent(blocker.release);
    EXPECT_EQ(log.Count("Notification queue full, dropped"), kExtra);
    EXPECT_TRUE(log.Contains("Notification queue full, dropped: APPLICATION corvane DATAGRAM bob:1 " +
                             std::to_string(SkypeClient::kMaxQueuedTexts)));
    // The whole queue drains through "SkypeEvent" first: seconds on a busy machine.
    EXPECT_TRUE(recorder->WaitFor(
        "datagram corvane bob:1 " + std::to_string(SkypeClient::kMaxQueuedTexts - 1), kDrainWaitMs));
    client->OnIdle.Remove(MakeDelegate<&EventThreadBlocker::OnIdle>(&blocker));
}

// Two commands under one id: the second is refused, and the first, unanswered, times out
// rather than being taken as answered.
TEST_F(LifetimeTest, ACommandIdAlreadyWaitingIsNotTakenOver) {
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

// The logger name is the process's: a client takes back only the name it set itself.
TEST_F(LifetimeTest, AClientForgetsOnlyTheLoggerNameItSet) {
    CorvaneLogging::SetLoggerName("host");
    NewClient();
    recorder.reset();
    client.reset();
    EXPECT_EQ(CorvaneLogging::GetLoggerName(), "host");

    Attach();
    EXPECT_EQ(CorvaneLogging::GetLoggerName(), me);
    recorder.reset();
    client.reset();
    EXPECT_EQ(CorvaneLogging::GetLoggerName(), "");
}

}  // namespace
}  // namespace skype_test
