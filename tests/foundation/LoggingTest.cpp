#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <regex>
#include <sstream>

#include "LogCapture.h"
#include "ProcessRunner.h"
#include "TempFolder.h"
#include "WorkerThread.h"
#include "foundation/LogFileHandler.h"
#include "foundation/Mutex.h"

namespace {

using Lines = std::vector<std::string>;

Lines SplitLines(std::string const& text) {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

// A process or thread id as the log prefix writes it: four hex digits at least.
std::string Id4(unsigned long value) {
    char text[16];
    snprintf(text, sizeof(text), "%04lx", value);
    return text;
}

void ExpectLine(std::string const& line, std::string const& who, std::string const& message) {
    SCOPED_TRACE(line);
    std::regex const prefix(R"(\[)" + who + R"(\] \d\d:\d\d:\d\d\.\d\d\d/\d+ (.*))");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, prefix));
    EXPECT_EQ(match[1], message);
}

// Two processes log at once, one to its console and the file, one to the file alone: every
// line reaches its outputs, each process's lines in the shared file opened by its banner.
TEST(LoggingTest, OtherProcessesLogToTheirConsoleAndOneSharedFile) {
    std::string logPath = ProcessRunner::BesideExecutable("foundation_probe.exe.log");
    DeleteFileA(logPath.c_str());
    ProcessRunner::Process first("foundation_probe.exe", "log 3 first 300 line");
    ProcessRunner::Process second("foundation_probe.exe", "log 2 second 300 line");
    ProcessRunner::Result firstRun, secondRun;
    ASSERT_TRUE(first.Wait(60000, firstRun));
    ASSERT_TRUE(second.Wait(60000, secondRun));
    Lines console = SplitLines(firstRun.output);
    ASSERT_EQ(console.size(), 302u);
    EXPECT_TRUE(std::regex_match(console[0], std::regex(R"(\d{8} line 0)"))) << console[0];
    EXPECT_EQ(console[300].substr(9), R"(escaped: \x9\\)");
    EXPECT_EQ(console[301].substr(9), "from an unnamed thread");
    EXPECT_EQ(secondRun.output, "");

    int banners = 0, firstLines = 0, secondLines = 0;
    for (std::string const& line : SplitLines(ReadWholeFile(logPath))) {
        banners += LogCapture::MessageOf(line) == LogFileHandler::kBanner;
        firstLines += line.rfind("[first/", 0) == 0;
        secondLines += line.rfind("[second/", 0) == 0;
    }
    EXPECT_EQ(banners, 2);
    EXPECT_EQ(firstLines, 303);  // banner, 300 lines, escaped line, unnamed thread
    EXPECT_EQ(secondLines, 303);

    DeleteFileA(logPath.c_str());
    ProcessRunner::Result consoleOnly = ProcessRunner::Run("foundation_probe.exe", "log 1 - 2 hello");
    EXPECT_EQ(SplitLines(consoleOnly.output).size(), 4u);
    EXPECT_EQ(ReadWholeFile(logPath), "");
}

// Lines name the process and the thread. A thread that waits for the file (held by another
// process) does not hold up the others: a line logged once the file is free goes in at once,
// before the waiting thread's next try.
TEST(LoggingTest, AThreadWaitingForTheFileDoesNotHoldUpTheOthers) {
    LogCapture log;
    CORVANE_LOG("before the file is taken");
    HANDLE taken = CreateFileA(LogFileHandler::GetInstance()->GetPath().c_str(), GENERIC_READ, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(taken, INVALID_HANDLE_VALUE);
    std::atomic<DWORD> began{0}, waiter{0};
    WorkerThread waiting([&] {
        waiter = GetCurrentThreadId();
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
    Lines lines = log.Lines();
    ASSERT_EQ(lines.size(), 3u);
    std::string const pid = Id4(GetCurrentProcessId());
    ExpectLine(lines[0], pid + "/main", "before the file is taken");
    ExpectLine(lines[1], pid + "/main", "line of a thread that found the file free");
    ExpectLine(lines[2], pid + "/" + Id4(waiter), "line that waited for the file");
}

// The first holder of the name (a named mutex) deletes the old log; a banner opens each
// holder's lines.
TEST(LoggingTest, OnlyTheFirstHolderDeletesTheOldLog) {
    TempFolder folder;
    std::string path = folder.File("host.exe.log");
    std::string mutexName = "CorvaneLogTest" + std::to_string(GetCurrentProcessId());
    WriteWholeFile(path, "old line\n");
    {
        LogFileHandler first(path, mutexName);
        first.WriteLine("one");
        LogFileHandler second(path, mutexName);
        second.WriteLine("two");
        EXPECT_EQ(SplitLines(ReadWholeFile(path)).size(), 4u);
    }
    Mutex mine;
    EXPECT_FALSE(mine.IsLock(mutexName + "-mine"));
    EXPECT_TRUE(mine.IsLock(mutexName + "-mine"));  // asked again for the name it holds
    LogFileHandler again(path, mutexName);
    EXPECT_EQ(ReadWholeFile(path), "");
}

}  // namespace
