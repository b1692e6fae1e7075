#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

// The size of the recordings the tests make.
constexpr int kWidth = 64;
constexpr int kHeight = 48;

// Test frames: flat colours with a square that moves, so that every frame differs from the
// others clearly enough to be told apart after a lossy compressor.
namespace RecordingFrames {

// The pixels of frame `index` (0x00RRGGBB, rows top-down).
std::vector<std::uint32_t> Pixels(int width, int height, int index);
// A 32-bit DIB section holding Pixels(width, height, index); the caller deletes it.
HBITMAP Make(int width, int height, int index);
// A 32-bit DIB section holding `pixels` (rows top-down); the caller deletes it.
HBITMAP MakeFrom(int width, int height, std::vector<std::uint32_t> const& pixels);
// The mean absolute difference of the colour components of two pictures of equal size.
double Distance(std::vector<std::uint32_t> const& a, std::vector<std::uint32_t> const& b);
// The index of the frame among the first `count` that `pixels` is nearest to.
int Nearest(std::vector<std::uint32_t> const& pixels, int width, int height, int count);

}  // namespace RecordingFrames
