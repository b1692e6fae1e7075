#include "CountingAllocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> gLive{0};
std::atomic<std::size_t> gPeak{0};
std::atomic<std::size_t> gBase{0};

// Each block carries its size in front, so that delete knows what it gives back.
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
    if (!pointer) {
        return;
    }
    char* block = static_cast<char*>(pointer) - kHeader;
    gLive.fetch_sub(*reinterpret_cast<std::size_t*>(block));
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void operator delete(void* pointer) noexcept {
    Release(pointer);
}
void operator delete[](void* pointer) noexcept {
    Release(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
    Release(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept {
    Release(pointer);
}

void CountingAllocator::ResetPeak() {
    gBase = gLive.load();
    gPeak = gBase.load();
}

std::size_t CountingAllocator::PeakSinceReset() {
    std::size_t peak = gPeak.load();
    std::size_t base = gBase.load();
    return peak > base ? peak - base : 0;
}
