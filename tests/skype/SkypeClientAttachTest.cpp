#include <windows.h>

#include <cstring>
#include <functional>
#include <sstream>

#include "LogCapture.h"
#include "SkypeTestSupport.h"
#include "foundation/CorvaneLogging.h"
#include "foundation/Mutex.h"
#include "foundation/ThreadWindow.h"
#include "skype/SkypeCommand.h"

namespace skype_test {
namespace {

bool IsTaken(std::string const& name) {
    Mutex probe;
    return probe.IsLock(name);
}

using AttachTest = ClientTest;

TEST_F(AttachTest, SuccessNamesTheUserAndTakesTheAccount) {
    NewClient();
    EXPECT_EQ(client->GetAttachStatus(), ISkypeClient::AttachNone);
    EXPECT_EQ(client->GetCurrentUser(), "logged out");

    client->Attach();
    client->Attach();  // already running: no second thread, no second broadcast
    ASSERT_TRUE(recorder->WaitFor("current " + me));
    EXPECT_EQ(recorder->Records(), (std::vector<std::string>{"attach 1", "current " + me}));
    EXPECT_EQ(client->GetAttachStatus(), ISkypeClient::AttachSuccess);
    EXPECT_EQ(client->GetCurrentUser(), me);
    EXPECT_EQ(CorvaneLogging::GetLoggerName(), me);
    EXPECT_EQ(sim->Commands(me), std::vector<std::string>{"GET CURRENTUSERHANDLE"});
    EXPECT_TRUE(IsTaken(me));

    // Once a window is chosen, later reports change nothing.
    UINT attachMessage = RegisterWindowMessageW(account.attachMessage.c_str());
    HWND messenger = sim->Window(me);
    for (LPARAM status : {2, 3, 1, 0}) {
        SendMessageW(client->GetWindowHandle(), attachMessage, reinterpret_cast<WPARAM>(messenger), status);
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
        std::vector<std::string> events;
    } const cases[] = {
        {{{1, 0}}, {"attach 2"}},
        {{{2, 0}}, {"attach 3"}},
        {{{3, 0}}, {"attach 4"}},
        // "API available" changes nothing: the report after it is the first event.
        {{{0x8001, 0}, {7, 0}, {2, 0}}, {"attach 3"}},
        {{{1, 0}, {1, 0}, {0, 100}}, {"attach 2", "attach 1", "current"}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.events.front());
        sim->SetAttachScript(me, c.script);
        NewClient();
        client->Attach();
        ASSERT_TRUE(recorder->WaitFor(c.events.back() == "current" ? "current " + me : c.events.back()));
        std::vector<std::string> events = recorder->Records();
        if (events.back() == "current " + me) {
            events.back() = "current";
        }
        EXPECT_EQ(events, c.events);
    }
}

TEST_F(AttachTest, TwoSuccessReportsFromOneWindowAskTwiceAndAttachOnce) {
    sim->DelayReplies(me, 300, "GET CURRENTUSERHANDLE");
    sim->SetAttachScript(me, {{0, 0}, {0, 50}});
    NewClient();
    client->Attach();
    // The second answer arrives when the window is chosen: a plain notification of the handle.
    ASSERT_TRUE(recorder->WaitFor("current " + me, kWait, 2));
    EXPECT_EQ(recorder->Records(), (std::vector<std::string>{"attach 1", "current " + me, "current " + me}));
    EXPECT_EQ(sim->Commands(me),
              (std::vector<std::string>{"GET CURRENTUSERHANDLE", "GET CURRENTUSERHANDLE"}));
}

TEST_F(AttachTest, CopyDataFromAWindowThatIsNotTheMessengerIsIgnored) {
    LogCapture log;
    ThreadWindow window;  // a given window: the client uses it and closes it
    window.Create(L"SkypeClientTest.GivenWindow");
    struct Finally {
        std::function<void()> run;
        ~Finally() { run(); }
    } releaseFirst{[this] {  // the client goes before the window it uses
        recorder.reset();
        client.reset();
    }};
    NewClient(&window);
    HWND own = client->GetWindowHandle();
    ASSERT_EQ(own, window.GetHwnd());
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
    EXPECT_EQ(EventsOf("USER bob ONLINESTATUS AWAY"), std::vector<std::string>{"status bob 2"});
    EXPECT_EQ(client->GetCurrentUser(), me);
}

TEST_F(AttachTest, TextsAreBoundedByTheirByteCount) {
    Attach();
    HWND own = client->GetWindowHandle();
    HWND messenger = sim->Window(me);

    // A text without NUL that ends right before a page nobody may read.
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    DWORD page = system.dwPageSize;
    char* pages =
        static_cast<char*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &old));
    std::string text = "USER bob ONLINESTATUS AWAY";
    char* end = pages + page;
    std::memcpy(end - text.size(), text.data(), text.size());
    EXPECT_EQ(SendCopyData(own, messenger, end - text.size(), static_cast<DWORD>(text.size())), 1);
    // A count short of the text takes only what it covers.
    EXPECT_EQ(SendCopyData(own, messenger, end - text.size(), static_cast<DWORD>(text.size() - 2)), 1);
    VirtualFree(pages, 0, MEM_RELEASE);

    // A NUL inside a NUL-terminated record ends the text; empty and missing data are ignored.
    char const terminated[] = "USER carol ONLINESTATUS ONLINE\0USER junk ONLINESTATUS AWAY";
    EXPECT_EQ(SendCopyData(own, messenger, terminated, sizeof(terminated)), 1);
    EXPECT_EQ(SendCopyData(own, messenger, "", 0), 1);
    EXPECT_EQ(SendCopyData(own, messenger, nullptr, 12), 1);
    EXPECT_EQ(SendCopyData(own, messenger, "", 1), 1);

    EXPECT_EQ(EventsOf("USER dave ONLINESTATUS OFFLINE"),
              (std::vector<std::string>{"status bob 2", "status bob -1", "status carol 1", "status dave 0"}));
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

TEST_F(AttachTest, ConnectionStatusLoggedOutEndsTheAttachment) {
    Attach();
    EXPECT_TRUE(EventsOf("CONNSTATUS ONLINE").empty());
    EXPECT_EQ(client->GetAttachStatus(), ISkypeClient::AttachSuccess);

    sim->LogOut(me);
    ASSERT_TRUE(recorder->WaitFor("attach 4"));
    EXPECT_EQ(recorder->Records(), (std::vector<std::string>{"logout", "attach 4"}));
    EXPECT_EQ(client->GetAttachStatus(), ISkypeClient::AttachNotAvailable);
    EXPECT_EQ(client->GetCurrentUser(), "logged out");
    EXPECT_EQ(CorvaneLogging::GetLoggerName(), "");
    EXPECT_FALSE(IsTaken(me));

    // The re-attach thread finds the messenger again on its next pass, 10 s after Attach():
    // the only way to see that pass is to wait for it.
    sim->LogIn(me);
    EXPECT_TRUE(recorder->WaitFor("current " + me, 15000));
    EXPECT_EQ(client->GetAttachStatus(), ISkypeClient::AttachSuccess);
}

TEST_F(AttachTest, AMessengerThatVanishedCountsAsLoggedOut) {
    LogCapture log;
    Attach();
    sim->Vanish(me);
    // However many sends fail before the logout is carried out, it happens once.
    for (int i = 0; i < 3; ++i) {
        client->Send("PING");
    }
    ASSERT_TRUE(recorder->WaitFor("attach 4"));
    EXPECT_FALSE(recorder->WaitFor("logout", 300, 2));
    EXPECT_EQ(recorder->Records(), (std::vector<std::string>{"logout", "attach 4"}));
    EXPECT_TRUE(log.Contains("Failed to send Skype message: "));
    // Not attached any more: nothing is sent, and a command waits out its time.
    client->Send("PING");
    EXPECT_TRUE(log.Contains("Plugin is not attached to Skype"));
    SkypeCommand command("PING", 50);
    ExpectSkypeError([&] { client->Send(command); }, "Command timeout: " + command.GetText());
}

}  // namespace
}  // namespace skype_test
