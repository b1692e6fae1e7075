// Runs every reader's generator over many inputs and prints a summary line per reader:
//   fuzz_readers [inputs per reader, default 1000000] [seed, default 1]
#include <cstdlib>
#include <iostream>

#include "Fuzz.h"

int main(int argc, char** argv) {
    std::uint64_t inputs = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    std::uint32_t seed = argc > 2 ? static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 1;
    int faults = 0;
    for (FuzzReader const& reader : FuzzReaders()) {
        FuzzSummary summary = RunFuzzReader(reader, seed, inputs);
        std::cout << FuzzSummaryLine(summary) << std::endl;
        for (std::string const& fault : summary.faults) {
            std::cout << "  " << fault << std::endl;
        }
        faults += summary.faultCount > 0;
    }
    return faults == 0 ? 0 : 1;
}
