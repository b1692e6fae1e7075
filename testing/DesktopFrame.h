#pragma once

#include <vector>

// A deterministic desktop-like frame for benchmarks: a gradient background, windows with title
// bars and lines of glyph-like strokes, and one photo-like area with sensor noise.
namespace DesktopFrame {

constexpr int kWidth = 1280;
constexpr int kHeight = 1024;

// Components may stray outside 0..255 (the noise); Pack clamps them.
struct Rgb {
    int r, g, b;
};

// kWidth x kHeight pixels, rows top-down.
std::vector<Rgb> Make();

// Packed rows without padding: blue-green-red at 24 bits, 5-6-5 little-endian at 16 bits,
// 3-3-2 at 8 bits.
std::vector<unsigned char> Pack(std::vector<Rgb> const& pixels, int bitsPerPixel);

}  // namespace DesktopFrame
