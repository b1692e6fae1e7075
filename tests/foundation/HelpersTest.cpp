#include <gtest/gtest.h>

#include <windows.h>

#include "foundation/DesktopUtil.h"
#include "foundation/Timer.h"

namespace {

TEST(TimerTest, MeasuresOnlyOnceStartedAndRestarts) {
    Timer idle(false);
    Sleep(5);
    EXPECT_EQ(idle.GetTimeInSec(), 0.0);
    Timer timer(true);
    for (int i = 0; i < 1000 && timer.GetTimeInSec() < 0.03; ++i) {  // bounded: a broken timer fails
        Sleep(1);
    }
    double seconds = timer.GetTimeInSec();
    EXPECT_GE(seconds, 0.03);
    EXPECT_LT(seconds, 5.0);
    EXPECT_GE(timer.GetTimeInMs(), 30);
    timer.StartTimer();
    EXPECT_LT(timer.GetTimeInSec(), seconds);
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
