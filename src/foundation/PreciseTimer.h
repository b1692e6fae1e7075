#pragma once

#include <cstdint>

// Elapsed milliseconds on the high-resolution performance counter. A timer that was never
// started measures from counter value 0. Not locked: one owner.
class PreciseTimer {
public:
    explicit PreciseTimer(bool start = false);

    void Start();
    int GetTimeInMs() const;

    // The process-wide clock started when the library was loaded; log lines carry its time.
    static PreciseTimer const& GetStartupTimer();

private:
    static PreciseTimer const* mStartupTimer;  // the object lives in Core.cpp

    int64_t mStart = 0;
    int64_t mFrequency = 1;
};
