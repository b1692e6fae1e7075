#include <condition_variable>
#include <mutex>
#include <thread>

#include "ProcessRunner.h"
#include "SimTestSupport.h"
#include "skypesim/SimCommandLine.h"

namespace skypesim_test {
namespace {

using skypesim::SimCommandLine;
using skypesim::SimOptions;

// skypesim.exe with pipes for its standard input and output.
class SimProcess {
public:
    explicit SimProcess(std::string const& arguments) {
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        HANDLE childInput = nullptr;
        HANDLE childOutput = nullptr;
        CreatePipe(&childInput, &mInput, &inherit, 0);
        CreatePipe(&mOutput, &childOutput, &inherit, 0);
        SetHandleInformation(mInput, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(mOutput, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childInput;
        startup.hStdOutput = childOutput;
        startup.hStdError = childOutput;
        std::string path = ProcessRunner::BesideExecutable("skypesim.exe");
        std::string commandLine = "\"" + path + "\" " + arguments;
        PROCESS_INFORMATION info{};
        if (CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                           &startup, &info)) {
            CloseHandle(info.hThread);
            mProcess = info.hProcess;
        }
        CloseHandle(childInput);
        CloseHandle(childOutput);
        mReader = std::thread([this] {
            char buffer[256];
            DWORD read = 0;
            while (ReadFile(mOutput, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
                std::lock_guard<std::mutex> lock(mMutex);
                mText.append(buffer, read);
                mChanged.notify_all();
            }
        });
    }
    ~SimProcess() {
        if (mProcess) {
            TerminateProcess(mProcess, 1);
            CloseHandle(mProcess);
        }
        CloseInput();
        mReader.join();
        CloseHandle(mOutput);
    }

    bool WaitForOutput(std::string const& text, unsigned timeoutMs) {
        std::unique_lock<std::mutex> lock(mMutex);
        return mChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return mText.find(text) != std::string::npos; });
    }
    std::string Output() {
        std::lock_guard<std::mutex> lock(mMutex);
        return mText;
    }
    void CloseInput() {
        if (mInput) {
            CloseHandle(mInput);
            mInput = nullptr;
        }
    }
    // The exit code, or -1 when the process does not end in time.
    long WaitForExit(unsigned timeoutMs) {
        DWORD code = 0;
        if (!mProcess || WaitForSingleObject(mProcess, timeoutMs) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(mProcess, &code)) {
            return -1;
        }
        return static_cast<long>(code);
    }

private:
    HANDLE mProcess = nullptr;
    HANDLE mInput = nullptr;   // write end of the child's standard input
    HANDLE mOutput = nullptr;  // read end of the child's standard output and error
    std::mutex mMutex;
    std::condition_variable mChanged;
    std::string mText;
    std::thread mReader;
};

TEST(SkypeSimProcessTest, ClientsInThisProcessTalkToTheSimulatorInAnother) {
    AccountConfig aliceNames = UniqueAccount("alice");
    AccountConfig bobNames = UniqueAccount("bob");
    auto narrow = [](std::wstring const& wide) { return std::string(wide.begin(), wide.end()); };
    std::string quit = "SkypeSimTestQuit" + std::to_string(GetCurrentProcessId());
    HANDLE quitEvent = CreateEventA(nullptr, TRUE, FALSE, quit.c_str());
    SimProcess process("--quit-event " + quit +
                       " --account alice \"Alice Example\" --friends bob --discover " +
                       narrow(aliceNames.discoverMessage) + " --attach " + narrow(aliceNames.attachMessage) +
                       " --account bob \"Bob B\" --rate 1000000 --attach-status 1,0@50 --discover " +
                       narrow(bobNames.discoverMessage) + " --attach " + narrow(bobNames.attachMessage));
    ASSERT_TRUE(process.WaitForOutput("ready\n", 20000)) << process.Output();

    auto alice = ClientFor(aliceNames);
    auto bob = ClientFor(bobNames);
    ASSERT_TRUE(alice->Attach(kWait));
    ASSERT_TRUE(bob->Attach(kWait));
    EXPECT_EQ(bob->AttachReports().front().status, 1);
    EXPECT_EQ(alice->Command("GET USER bob FULLNAME"), "USER bob FULLNAME Bob B");
    EXPECT_EQ(bob->Command("SEARCH FRIENDS"), "USERS alice");
    ASSERT_TRUE(alice->Command("CREATE APPLICATION corvane"));
    ASSERT_TRUE(bob->Command("CREATE APPLICATION corvane"));
    ASSERT_TRUE(bob->Command("ALTER APPLICATION corvane CONNECT alice"));
    ASSERT_TRUE(WaitForExactly(*alice, "APPLICATION corvane STREAMS bob:1"));
    std::string packet(200000, 'p');
    EXPECT_EQ(bob->Command("ALTER APPLICATION corvane WRITE alice:1 " + packet),
              "ALTER APPLICATION corvane WRITE alice:1");
    EXPECT_TRUE(alice->WaitForNotification("APPLICATION corvane RECEIVED bob:1=200000", kWait));
    EXPECT_EQ(alice->Command("ALTER APPLICATION corvane READ bob:1"),
              "ALTER APPLICATION corvane READ bob:1 " + packet);

    SetEvent(quitEvent);
    EXPECT_EQ(process.WaitForExit(kWait), 0);
    CloseHandle(quitEvent);

    // Without a quit event it ends when its standard input closes.
    SimProcess second("--account carol Carol");
    ASSERT_TRUE(second.WaitForOutput("ready\n", 20000)) << second.Output();
    second.CloseInput();
    EXPECT_EQ(second.WaitForExit(kWait), 0);
}

TEST(SkypeSimProcessTest, CommandLineDescribesAccounts) {
    std::string error;
    std::optional<SimOptions> options = SimCommandLine::Parse(
        {"--account", "alice", "Alice A", "--friends", "bob,carol", "--status", "AWAY", "--attach-status",
         "1,0@250", "--stopped", "--account", "bob", "Bob", "--ignore-stdin"},
        error);
    ASSERT_TRUE(options) << error;
    EXPECT_FALSE(options->watchStdin);
    ASSERT_EQ(options->accounts.size(), 2u);
    AccountConfig const& alice = options->accounts[0];
    EXPECT_EQ(alice.friends, (std::vector<std::string>{"bob", "carol"}));
    EXPECT_EQ(alice.onlineStatus, "AWAY");
    ASSERT_EQ(alice.attachScript.size(), 2u);
    EXPECT_EQ(alice.attachScript[1].status, 0);
    EXPECT_EQ(alice.attachScript[1].delayMs, 250u);
    EXPECT_FALSE(alice.running);
    EXPECT_TRUE(options->accounts[1].running);
    EXPECT_EQ(options->accounts[1].discoverMessage, L"SkypeControlAPIDiscover");

    std::vector<std::string> const wrong[] = {
        {},
        {"--rate", "5"},
        {"--account", "alice"},
        {"--account", "alice", "A", "--rate", "fast"},
        {"--account", "alice", "A", "--attach-status", "0@soon"},
        {"--account", "alice", "A", "--colour", "blue"},
        {"--account", "alice", "A", "--avatar", "no such file.png"},
    };
    for (auto const& arguments : wrong) {
        SCOPED_TRACE(arguments.empty() ? std::string("nothing") : arguments.back());
        EXPECT_FALSE(SimCommandLine::Parse(arguments, error));
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace skypesim_test
