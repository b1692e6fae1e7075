#include "foundation/PreciseTimer.h"

#include "foundation/PerformanceCounter.h"

PreciseTimer::PreciseTimer(bool start) : mFrequency(PerformanceCounter::Frequency()) {
    if (start) {
        Start();
    }
}

void PreciseTimer::Start() {
    mStart = PerformanceCounter::Now();
}

int PreciseTimer::GetTimeInMs() const {
    return static_cast<int>(static_cast<double>(PerformanceCounter::Now() - mStart) /
                            static_cast<double>(mFrequency) * 1000.0);
}

PreciseTimer const& PreciseTimer::GetStartupTimer() {
    return *mStartupTimer;
}
