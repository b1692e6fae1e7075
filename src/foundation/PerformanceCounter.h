#pragma once

#include <cstdint>

// The high-resolution performance counter that the timers read.
namespace PerformanceCounter {

int64_t Now();
// Ticks per second; 1 if the system reports none, so that divisions stay defined.
int64_t Frequency();

}  // namespace PerformanceCounter
