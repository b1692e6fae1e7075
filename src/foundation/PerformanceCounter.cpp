#include "foundation/PerformanceCounter.h"

#include <windows.h>

int64_t PerformanceCounter::Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

int64_t PerformanceCounter::Frequency() {
    LARGE_INTEGER frequency;
    return QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0 ? frequency.QuadPart : 1;
}
