#include <gtest/gtest.h>

#include <windows.h>

#include <climits>

#include "foundation/FpsCalculator.h"
#include "foundation/Timer.h"

namespace {

// Spins until the timer has measured at least `seconds`; bounded so a broken timer fails.
void WaitFor(Timer const& timer, double seconds) {
    for (int i = 0; i < 1000 && timer.GetTimeInSec() < seconds; ++i) {
        Sleep(1);
    }
}

TEST(TimerTest, MeasuresOnlyOnceStartedAndRestarts) {
    Timer idle(false);
    Timer startup = Timer::GetStartupTimer();
    Sleep(5);
    EXPECT_EQ(idle.GetTimeInSec(), 0.0);
    EXPECT_EQ(idle.GetTimeInMs(), 0);
    EXPECT_EQ(startup.GetTimeInSec(), 0.0);

    Timer timer(true);
    WaitFor(timer, 0.03);
    double seconds = timer.GetTimeInSec();
    int ms = timer.GetTimeInMs();
    EXPECT_GE(seconds, 0.03);
    EXPECT_LT(seconds, 5.0);
    EXPECT_GE(ms, 30);
    EXPECT_LE(ms, static_cast<int>(timer.GetTimeInSec() * 1000.0));
    timer.StartTimer();
    EXPECT_LT(timer.GetTimeInSec(), seconds);
}

TEST(FpsCalculatorTest, ClockStartsWithTheFirstAmountAndAfterReturningToZero) {
    FpsCalculator fps;
    EXPECT_EQ(fps.GetTotal(), 0);
    EXPECT_EQ(fps.GetTimer().GetTimeInSec(), 0.0);
    EXPECT_EQ(fps.GetRate(), 0.0);

    fps.Add(1000);
    fps.Add(-1);
    EXPECT_EQ(fps.GetTotal(), 999);
    WaitFor(fps.GetTimer(), 0.02);
    double elapsed = fps.GetTimer().GetTimeInSec();
    EXPECT_GE(elapsed, 0.02);
    EXPECT_GT(fps.GetRate(), 0.0);
    EXPECT_LE(fps.GetRate(), 999 / elapsed);

    fps.Add(-999);  // back at zero: the next amount restarts the clock
    fps.Add(5);
    EXPECT_EQ(fps.GetTotal(), 5);
    EXPECT_LT(fps.GetTimer().GetTimeInSec(), elapsed);

    fps.Add(INT_MAX);
    fps.Add(INT_MAX);
    EXPECT_EQ(fps.GetTotal(), 5 + 2 * static_cast<int64_t>(INT_MAX));
}

}  // namespace
