#include "foundation/PreciseTimer.h"

#include <windows.h>

namespace {
int64_t CounterNow() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}
}  // namespace

PreciseTimer::PreciseTimer(bool start) {
    LARGE_INTEGER frequency;
    if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0) {
        mFrequency = frequency.QuadPart;
    }
    if (start) {
        Start();
    }
}

void PreciseTimer::Start() { mStart = CounterNow(); }

int PreciseTimer::GetTimeInMs() const {
    return static_cast<int>(static_cast<double>(CounterNow() - mStart) / static_cast<double>(mFrequency) * 1000.0);
}

PreciseTimer const& PreciseTimer::GetStartupTimer() { return *mStartupTimer; }
