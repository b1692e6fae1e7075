#include "foundation/Timer.h"

#include "foundation/PerformanceCounter.h"

Timer::Timer(bool start) : mFrequency(PerformanceCounter::Frequency()) {
    if (start) {
        StartTimer();
    }
}

void Timer::StartTimer() {
    mStart = PerformanceCounter::Now();
    mStarted = true;
}

double Timer::GetTimeInSec() const {
    if (!mStarted) {
        return 0.0;
    }
    return static_cast<double>(PerformanceCounter::Now() - mStart) / static_cast<double>(mFrequency);
}

int Timer::GetTimeInMs() const {
    return static_cast<int>(GetTimeInSec() * 1000.0);
}

Timer Timer::GetStartupTimer() {
    return mStartupTimer ? *mStartupTimer : Timer();
}
