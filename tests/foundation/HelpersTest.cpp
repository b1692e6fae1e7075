#include <gtest/gtest.h>

#include <windows.h>

#include "TempFolder.h"
#include "foundation/DesktopUtil.h"
#include "foundation/FileHelper.h"
#include "foundation/Timer.h"

namespace {

// Polls until the timer has measured at least `seconds`; bounded so a broken timer fails.
void WaitFor(Timer const& timer, double seconds) {
    for (int i = 0; i < 1000 && timer.GetTimeInSec() < seconds; ++i) {
        Sleep(1);
    }
}

TEST(TimerTest, MeasuresOnlyOnceStartedAndRestarts) {
    Timer idle(false);
    Sleep(5);
    EXPECT_EQ(idle.GetTimeInSec(), 0.0);
    Timer timer(true);
    WaitFor(timer, 0.03);
    double seconds = timer.GetTimeInSec();
    EXPECT_GE(seconds, 0.03);
    EXPECT_LT(seconds, 5.0);
    EXPECT_GE(timer.GetTimeInMs(), 30);
    timer.StartTimer();
    EXPECT_LT(timer.GetTimeInSec(), seconds);
}

bool IsFolder(std::string const& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Every missing folder is made; doubled and trailing separators vanish; a file in the way is
// left alone, and nothing below it is made.
TEST(FileHelperTest, CreateFullPathMakesEveryMissingFolder) {
    TempFolder temp;
    FileHelper::CreateFullPath(temp.File("a\\b\\c"));
    EXPECT_TRUE(IsFolder(temp.File("a\\b\\c")));
    FileHelper::CreateFullPath(temp.Path() + "\\\\a\\\\b\\d\\");
    EXPECT_TRUE(IsFolder(temp.File("a\\b\\d")));
    WriteWholeFile(temp.File("file"), "x");
    FileHelper::CreateFullPath(temp.File("file\\sub"));
    EXPECT_FALSE(IsFolder(temp.File("file\\sub")));
}

TEST(DesktopUtilTest, BestFitIsStrictlySmallerThanTheDesktop) {
    struct Case {
        SIZE wanted;
        SIZE desktop;
        SIZE fit;
    } const cases[] = {
        {{1279, 1023}, {1280, 1024}, {1279, 1023}}, {{1280, 1024}, {1280, 1024}, {1024, 768}},
        {{2000, 10}, {1280, 1024}, {1024, 768}},    {{1024, 768}, {1025, 768}, {800, 600}},
        {{640, 480}, {641, 481}, {640, 480}},       {{300, 200}, {300, 200}, {320, 240}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(std::to_string(c.wanted.cx) + " on " + std::to_string(c.desktop.cx));
        SIZE fit = DesktopUtil::GetBestFitResolution(c.wanted, c.desktop);
        EXPECT_EQ(fit.cx, c.fit.cx);
        EXPECT_EQ(fit.cy, c.fit.cy);
    }
}

}  // namespace
