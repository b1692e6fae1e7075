#include "FuzzRunner.h"

#include <windows.h>

#include <exception>
#include <sstream>

#include "CountingAllocator.h"
#include "foundation/Errors.h"

namespace {

constexpr std::size_t kKeptFaults = 5;
constexpr std::size_t kShownInput = 120;

std::string Shown(std::string const& input) {
    std::string shown;
    for (char c : input.substr(0, kShownInput)) {
        shown += (c >= 0x20 && c < 0x7f) ? std::string(1, c)
                                         : "\\x" + std::to_string(static_cast<unsigned char>(c));
    }
    return shown;
}

void AddFault(FuzzSummary& summary, std::string const& what, std::string const& input) {
    ++summary.faultCount;
    if (summary.faults.size() < kKeptFaults) {
        summary.faults.push_back(what + " on input \"" + Shown(input) + "\"");
    }
}

}  // namespace

FuzzSummary RunFuzzReader(FuzzReader const& reader, std::uint32_t seed, std::uint64_t count) {
    FuzzSummary summary;
    summary.reader = reader.name;
    std::mt19937 random(seed);
    DWORD start = GetTickCount();
    for (std::uint64_t i = 0; i < count; ++i) {
        std::string input = reader.generate(random);
        CountingAllocator::ResetPeak();
        try {
            reader.read(input);
            ++summary.accepted;
        } catch (BaseError const&) {
            ++summary.refused;
        } catch (std::exception const& error) {
            AddFault(summary, std::string("foreign exception \"") + error.what() + "\"", input);
        } catch (...) {
            AddFault(summary, "unknown exception", input);
        }
        std::size_t allocated = CountingAllocator::PeakSinceReset();
        if (allocated > summary.maxAllocation) {
            summary.maxAllocation = allocated;
            summary.largestInput = Shown(input);
        }
        if (allocated > reader.maxAllocation) {
            AddFault(summary, "allocated " + std::to_string(allocated) + " bytes", input);
        }
        ++summary.inputs;
    }
    summary.seconds = (GetTickCount() - start) / 1000.0;
    return summary;
}

std::string FuzzSummaryLine(FuzzSummary const& summary) {
    std::ostringstream line;
    line << summary.reader << ": " << summary.inputs << " inputs, " << summary.accepted << " accepted, "
         << summary.refused << " refused, largest allocation " << summary.maxAllocation << " bytes, "
         << summary.faultCount << " faults, " << summary.seconds << " s";
    return line.str();
}
