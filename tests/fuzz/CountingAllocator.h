#pragma once

#include <cstddef>

// The program's operator new and delete count the bytes they hand out (CountingAllocator.cpp
// replaces them in every program that compiles it in). Any thread.
namespace CountingAllocator {

// Starts a measurement: the peak is taken from the bytes live now.
void ResetPeak();
// The most bytes that were live at once since ResetPeak, above what was live then.
std::size_t PeakSinceReset();

}  // namespace CountingAllocator
