#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

// One reader of input from the peer or the messenger, with a generator of inputs for it.
// A new reader is one generator, one read function and one row in FuzzReaders().
struct FuzzReader {
    char const* name;
    std::string (*generate)(std::mt19937& random);  // usually a valid input, damaged
    // Reads the input as the library would; may raise only the library's own errors.
    void (*read)(std::string const& input);
    std::size_t maxAllocation;  // the most bytes one input may make the reader allocate at once
    std::uint64_t testInputs;   // how many the test suite gives it: a second or two under Wine
};

// Every reader, in a fixed order.
std::vector<FuzzReader> const& FuzzReaders();

// Damages `text` with one to four random edits: changed, inserted, removed or repeated
// characters, cut ends, and numbers replaced by extreme ones.
void Mutate(std::string& text, std::mt19937& random);

// What running one reader over many generated inputs found.
struct FuzzSummary {
    std::string reader;
    std::uint64_t inputs = 0;
    std::uint64_t accepted = 0;  // read without an error
    std::uint64_t refused = 0;   // the library's own error
    std::size_t maxAllocation = 0;
    // Inputs that raised anything but the library's errors, or allocated beyond the bound,
    // each with what happened (the first few only).
    std::vector<std::string> faults;
    std::uint64_t faultCount = 0;
    double seconds = 0;
};

// Runs `count` inputs of `reader` made from `seed`. Logging should be off. The program's
// operator new (FuzzRunner.cpp) counts the bytes each input makes live at once.
FuzzSummary RunFuzzReader(FuzzReader const& reader, std::uint32_t seed, std::uint64_t count);
// One line: reader, inputs, accepted, refused, largest allocation, faults, time.
std::string FuzzSummaryLine(FuzzSummary const& summary);
