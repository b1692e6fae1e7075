#pragma once

#include <functional>
#include <string>

// Helpers of the benchmark programs, which print one JSON object per measurement on
// standard output and nothing else.

// The shortest of `repeats` timed runs of `run`, in seconds (the least disturbed one on a
// shared machine).
double BestSeconds(int repeats, std::function<void()> const& run);

struct BenchTimes {
    double subject;
    double baseline;
};

// The best times of `subject` and `baseline`, run alternately `repeats` times each so that
// both see the same machine.
BenchTimes CompareBest(int repeats, std::function<void()> const& subject,
                       std::function<void()> const& baseline);

// One measurement: `bytes` handled per run in `seconds` by the subject, compared with a
// baseline that handled the same bytes in `baselineSeconds`.
void PrintMeasurement(std::string const& name, double bytes, double seconds, std::string const& baseline,
                      double baselineSeconds);
