#pragma once

#include <cstdint>

// Readers of one packed pixel of the formats the library exchanges, giving an opaque
// 0xAARRGGBB. The 3-3-2 and 5-6-5 levels are spread evenly over 0..255, so that full levels
// stay full and black stays black.
namespace PackedPixels {

constexpr std::uint32_t kOpaque = 0xFF000000;

inline std::uint32_t Bgr(unsigned blue, unsigned green, unsigned red) {
    return kOpaque | red << 16 | green << 8 | blue;
}

// One byte RRRGGGBB.
struct Rgb332 {
    static constexpr int kBytes = 1;
    static std::uint32_t Read(unsigned char const* p) {
        unsigned v = p[0];
        return Bgr((v & 3) * 85, (v >> 2 & 7) * 255 / 7, (v >> 5) * 255 / 7);
    }
};

// A little-endian u16 RRRRRGGGGGGBBBBB.
struct Rgb565 {
    static constexpr int kBytes = 2;
    static std::uint32_t Read(unsigned char const* p) {
        unsigned v = p[0] | p[1] << 8;
        unsigned red = v >> 11, green = v >> 5 & 63, blue = v & 31;
        return Bgr(blue << 3 | blue >> 2, green << 2 | green >> 4, red << 3 | red >> 2);
    }
};

// Blue, green, red.
struct Bgr24 {
    static constexpr int kBytes = 3;
    static std::uint32_t Read(unsigned char const* p) { return Bgr(p[0], p[1], p[2]); }
};

// Blue, green, red, alpha.
struct Bgra32 {
    static constexpr int kBytes = 4;
    static std::uint32_t Read(unsigned char const* p) {
        return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    }
};

}  // namespace PackedPixels
