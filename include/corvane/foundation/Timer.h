#pragma once

#include <cstdint>

// Elapsed seconds on the high-resolution performance counter. Not locked: one owner.
class Timer {
public:
    // Reads the counter frequency; starts the timer when `start` is true.
    explicit Timer(bool start = false);

    // Starts, or restarts, the measurement now.
    void StartTimer();
    // Seconds since StartTimer; 0.0 while the timer has never been started.
    double GetTimeInSec() const;
    // GetTimeInSec() in whole milliseconds, truncated toward zero.
    int GetTimeInMs() const;

    // A copy of the process-wide timer made when the library was loaded. It is not started:
    // a holder starts its copy when it wants to measure.
    static Timer GetStartupTimer();

private:
    static Timer const* mStartupTimer;  // the object lives in Core.cpp

    int64_t mStart = 0;
    int64_t mFrequency = 1;
    bool mStarted = false;
};
