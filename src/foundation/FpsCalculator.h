#pragma once

#include <cstdint>

#include "foundation/Timer.h"

// A running total with the time since its first amount: the throughput counter of a protocol
// endpoint. Not locked: its owner serialises access.
class FpsCalculator {
public:
    FpsCalculator() = default;

    // Adds `amount`; the clock starts when the total is 0 before the add.
    void Add(int amount);

    int64_t GetTotal() const { return mTotal; }
    Timer const& GetTimer() const { return mTimer; }
    // The total per elapsed second; 0 while no time has passed.
    double GetRate() const;

private:
    int64_t mTotal = 0;
    Timer mTimer;
};
