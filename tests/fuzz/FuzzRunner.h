#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzReaders.h"

// What running one reader over many generated inputs found.
struct FuzzSummary {
    std::string reader;
    std::uint64_t inputs = 0;
    std::uint64_t accepted = 0;  // read without an error
    std::uint64_t refused = 0;   // the library's own error
    std::size_t maxAllocation = 0;
    std::string largestInput;  // the input that allocated the most
    // Inputs that raised anything but the library's errors, or allocated beyond the bound,
    // each with what happened (the first few only).
    std::vector<std::string> faults;
    std::uint64_t faultCount = 0;
    double seconds = 0;
};

// Runs `count` inputs of `reader` made from `seed`. Logging should be off.
FuzzSummary RunFuzzReader(FuzzReader const& reader, std::uint32_t seed, std::uint64_t count);
// One line: reader, inputs, accepted, refused, largest allocation, faults, time.
std::string FuzzSummaryLine(FuzzSummary const& summary);
