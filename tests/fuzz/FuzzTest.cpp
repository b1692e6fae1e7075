#include <gtest/gtest.h>

#include <functional>

#include "Fuzz.h"

// Generated inputs (scripts/fuzz runs a million per reader), mostly valid ones damaged, into
// every reader of peer and messenger input: only the library's own errors may come out, and no
// input may allocate beyond its bound.
TEST(FuzzTest, ReadersRaiseOnlyTheirOwnErrorsAndAllocateWithinBounds) {
    for (FuzzReader const& reader : FuzzReaders()) {
        SCOPED_TRACE(reader.name);
        auto const seed = static_cast<std::uint32_t>(std::hash<std::string>()(reader.name));
        FuzzSummary summary = RunFuzzReader(reader, seed, reader.testInputs);
        std::cout << FuzzSummaryLine(summary) << std::endl;
        EXPECT_EQ(summary.faultCount, 0u);
        for (std::string const& fault : summary.faults) {
            ADD_FAILURE() << fault;
        }
        EXPECT_GT(summary.accepted, 0u);
        EXPECT_GT(summary.refused, 0u);
    }
}
