#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <regex>
#include <sstream>

#include "LogCapture.h"
#include "ProcessRunner.h"
#include "TempFolder.h"
#include "WorkerThread.h"
#include "foundation/LogFileHandler.h"

namespace {

std::vector<std::string> SplitLines(std::string const& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

// A process or thread id as the log prefix writes it: four digits at least, hex or decimal.
std::string Id4(unsigned long value, bool hex = true) {
    char text[16];
    snprintf(text, sizeof(text), hex ? "%04lx" : "%04lu", value);
    return text;
}

// Everything after "] " up to the message: "hh:mm:ss.mmm/<ms> ".
std::regex const kClock(R"(\d\d:\d\d:\d\d\.\d\d\d/\d+ )");

void ExpectLine(std::string const& line, std::string const& who, std::string const& message) {
    SCOPED_TRACE(line);
    ASSERT_EQ(line.substr(0, who.size() + 3), "[" + who + "] ");
    std::string rest = line.substr(who.size() + 3);
    std::smatch clock;
    ASSERT_TRUE(std::regex_search(rest, clock, kClock, std::regex_constants::match_continuous));
    EXPECT_EQ(rest.substr(clock.length()), message);
}

TEST(LoggingTest, FileLinesNameTheProcessOrLoggerAndTheThread) {
    LogCapture log;
    std::string pid = Id4(GetCurrentProcessId());
    CORVANE_LOG("by process " << 1);
    DWORD foreignId = 0;
    WorkerThread([&] {
        foreignId = GetCurrentThreadId();
        CORVANE_LOG("foreign");
        CorvaneLogging::SetLoggerName("alice");
        CORVANE_LOG("foreign with logger");
        CorvaneLogging::SetLoggerName("");
    }).Join();
    CorvaneLogging::SetLoggerName("alice");
    CORVANE_LOG("tab\there \\ done");
    CorvaneLogging::SetLoggerName("");

    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 4u);
    ExpectLine(lines[0], pid + "/main", "by process 1");
    ExpectLine(lines[1], pid + "/" + Id4(foreignId), "foreign");
    ExpectLine(lines[2], "alice/" + Id4(foreignId, false), "foreign with logger");
    ExpectLine(lines[3], "alice/main", "tab\\x9here \\\\ done");
}

TEST(LoggingTest, OutputSettingAndRequestMustBothSelectAnOutput) {
    LogCapture log(CorvaneLogging::LogNothing);
    std::stringstream message;
    message << "never written";
    CorvaneLogging::CorvaneDebugOutput(message, CorvaneLogging::LogBoth);
    CorvaneLogging::SetLoggingOutput(CorvaneLogging::LogFile);
    CorvaneLogging::CorvaneDebugOutput(message, CorvaneLogging::LogConsole);
    EXPECT_TRUE(log.Lines().empty());
    CorvaneLogging::CorvaneDebugOutput(message, CorvaneLogging::LogFile);
    EXPECT_EQ(log.Messages(), std::vector<std::string>{"never written"});
}

struct ProbeRun {
    std::vector<std::string> console;
    std::vector<std::string> file;
};

ProbeRun RunLogProbe(std::string const& output, std::string const& logger) {
    std::string logPath = ProcessRunner::BesideExecutable("foundation_probe.exe.log");
    DeleteFileA(logPath.c_str());
    ProcessRunner::Result result =
        ProcessRunner::Run("foundation_probe.exe", "log " + output + " " + logger + " 2 hello");
    EXPECT_EQ(result.exitCode, 0u);
    return {SplitLines(result.output), SplitLines(ReadWholeFile(logPath))};
}

TEST(LoggingTest, ConsoleAndFileOutputsOfAnotherProcess) {
    std::regex const consoleLine(R"(\d{8} (.*))");
    ProbeRun both = RunLogProbe("3", "bob");
    ASSERT_EQ(both.console.size(), 4u);
    std::vector<std::string> expected = {"hello 0", "hello 1", "escaped: \\x9\\\\", "from an unnamed thread"};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(both.console[i], match, consoleLine)) << both.console[i];
        EXPECT_EQ(match[1], expected[i]);
    }
    ASSERT_EQ(both.file.size(), 5u);
    EXPECT_EQ(LogCapture::MessageOf(both.file[0]), LogFileHandler::kBanner);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(LogCapture::MessageOf(both.file[i + 1]), expected[i]);
    }
    EXPECT_EQ(both.file[1].substr(0, 10), "[bob/main]");

    ProbeRun consoleOnly = RunLogProbe("1", "-");
    EXPECT_EQ(consoleOnly.console.size(), 4u);
    EXPECT_TRUE(consoleOnly.file.empty());

    ProbeRun fileOnly = RunLogProbe("2", "-");
    EXPECT_TRUE(fileOnly.console.empty());
    EXPECT_EQ(fileOnly.file.size(), 5u);
}

// A thread that waits for the file (held by another process) does not hold up the others: a
// line logged once the file is free goes in at once, before the waiting thread's next try.
TEST(LoggingTest, AThreadWaitingForTheFileDoesNotHoldUpTheOthers) {
    LogCapture log;
    CORVANE_LOG("before the file is taken");
    HANDLE taken = CreateFileA(LogFileHandler::GetInstance()->GetPath().c_str(), GENERIC_READ, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(taken, INVALID_HANDLE_VALUE);
    std::atomic<DWORD> began{0};
    WorkerThread waiting([&] {
        began = GetTickCount();
        CORVANE_LOG("line that waited for the file");
    });
    while (began == 0) {
        Sleep(1);
    }
    // Its tries come 247 and 502 ms after it began: free the file in between.
    while (GetTickCount() - began < 375) {
        Sleep(5);
    }
    CloseHandle(taken);
    CORVANE_LOG("line of a thread that found the file free");
    waiting.Join();
    std::vector<std::string> messages = log.Messages();
    auto free = std::find(messages.begin(), messages.end(), "line of a thread that found the file free");
    auto waited = std::find(messages.begin(), messages.end(), "line that waited for the file");
    ASSERT_NE(free, messages.end());
    ASSERT_NE(waited, messages.end());
    EXPECT_LT(free, waited);
}

TEST(LoggingTest, TwoProcessesAppendToOneFileWithoutLosingLines) {
    std::string logPath = ProcessRunner::BesideExecutable("foundation_probe.exe.log");
    DeleteFileA(logPath.c_str());
    ProcessRunner::Process first("foundation_probe.exe", "log 2 first 300 line");
    ProcessRunner::Process second("foundation_probe.exe", "log 2 second 300 line");
    ProcessRunner::Result result;
    ASSERT_TRUE(first.Wait(60000, result));
    ASSERT_TRUE(second.Wait(60000, result));

    int banners = 0, firstLines = 0, secondLines = 0;
    for (std::string const& line : SplitLines(ReadWholeFile(logPath))) {
        banners += LogCapture::MessageOf(line) == LogFileHandler::kBanner;
        firstLines += line.rfind("[first/", 0) == 0;
        secondLines += line.rfind("[second/", 0) == 0;
    }
    EXPECT_EQ(banners, 2);
    EXPECT_EQ(firstLines, 303);  // banner, 300 lines, escaped line, unnamed thread
    EXPECT_EQ(secondLines, 303);
}

TEST(LoggingTest, OnlyTheFirstHolderDeletesTheOldLog) {
    TempFolder folder;
    std::string path = folder.File("host.exe.log");
    std::string mutexName = "CorvaneLogTest" + std::to_string(GetCurrentProcessId());
    WriteWholeFile(path, "old line\n");
    {
        LogFileHandler first(path, mutexName);
        EXPECT_EQ(ReadWholeFile(path), "");
        first.WriteLine("one");
        first.WriteLine("two");
        LogFileHandler second(path, mutexName);
        second.WriteLine("three");
        std::vector<std::string> messages;
        for (std::string const& line : SplitLines(ReadWholeFile(path))) {
            messages.push_back(LogCapture::MessageOf(line));
        }
        EXPECT_EQ(messages, (std::vector<std::string>{LogFileHandler::kBanner, "one", "two",
                                                      LogFileHandler::kBanner, "three"}));
    }
    LogFileHandler again(path, mutexName);
    EXPECT_EQ(ReadWholeFile(path), "");
}

}  // namespace
