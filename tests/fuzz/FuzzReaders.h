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
    // Makes one input: usually a valid one, damaged.
    std::string (*generate)(std::mt19937& random);
    // Reads the input as the library would; may raise only the library's own errors.
    void (*read)(std::string const& input);
    // The most bytes one input may make the reader allocate at once.
    std::size_t maxAllocation;
    // How many inputs the test suite gives it: about a second or two under Wine.
    std::uint64_t testInputs;
};

// Every reader, in a fixed order.
std::vector<FuzzReader> const& FuzzReaders();

// Damages `text` with one to four random edits: changed, inserted, removed or repeated
// characters, cut ends, and numbers replaced by extreme ones.
void Mutate(std::string& text, std::mt19937& random);
