#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <new>
#include <sstream>

#include "Fuzz.h"
#include "foundation/Errors.h"

// The program's operator new and delete count the bytes they hand out (the array forms come here
// too); each block carries its size in front, so that delete knows what it gives back.
namespace {

std::atomic<std::size_t> gLive{0};
std::atomic<std::size_t> gPeak{0};
constexpr std::size_t kHeader = 16;

void* Allocate(std::size_t size) {
    void* block = std::malloc(size + kHeader);
    if (!block) {
        throw std::bad_alloc();
    }
    *static_cast<std::size_t*>(block) = size;
    std::size_t live = gLive.fetch_add(size) + size;
    std::size_t peak = gPeak.load();
    while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
    }
    return static_cast<char*>(block) + kHeader;
}

void Release(void* pointer) {
    if (pointer) {
        char* block = static_cast<char*>(pointer) - kHeader;
        gLive.fetch_sub(*reinterpret_cast<std::size_t*>(block));
        std::free(block);
    }
}

std::string Shown(std::string const& input) {
    std::string shown;
    for (char c : input.substr(0, 120)) {
        shown += (c >= 0x20 && c < 0x7f) ? std::string(1, c)
                                         : "\\x" + std::to_string(static_cast<unsigned char>(c));
    }
    return shown;
}

void AddFault(FuzzSummary& summary, std::string const& what, std::string const& input) {
    if (++summary.faultCount <= 5) {
        summary.faults.push_back(what + " on input \"" + Shown(input) + "\"");
    }
}

}  // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void operator delete(void* pointer) noexcept {
    Release(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
    Release(pointer);
}

FuzzSummary RunFuzzReader(FuzzReader const& reader, std::uint32_t seed, std::uint64_t count) {
    FuzzSummary summary;
    summary.reader = reader.name;
    std::mt19937 random(seed);
    DWORD start = GetTickCount();
    for (; summary.inputs < count; ++summary.inputs) {
        std::string input = reader.generate(random);
        std::size_t const base = gLive.load();
        gPeak = base;
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
        std::size_t const allocated = gPeak.load() > base ? gPeak.load() - base : 0;
        summary.maxAllocation = std::max(summary.maxAllocation, allocated);
        if (allocated > reader.maxAllocation) {
            AddFault(summary, "allocated " + std::to_string(allocated) + " bytes", input);
        }
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
