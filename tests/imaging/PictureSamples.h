#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/Picture.h"

// Pictures, bytes and comparisons shared by the picture tests.

using Bytes = std::vector<unsigned char>;

// Appends the `count` low bytes of `value`, least significant first.
inline void Put(Bytes& out, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
    }
}

inline std::uint32_t Opaque(std::uint32_t rgb) {
    return 0xFF000000 | rgb;
}

inline std::uint32_t Channel(std::uint32_t pixel, int index) {
    return pixel >> (8 * index) & 0xFF;
}

// Smooth gradients with sharp-edged panels and thin lines, like a desktop.
inline Picture ScreenLike(int width, int height) {
    Picture picture(width, height);
    std::uint32_t* pixels = picture.GetPixels();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint32_t rgb = (x * 255 / width) << 16 | (y * 255 / height) << 8 | 0x60;
            if (x > width / 3 && x < width * 2 / 3 && y > height / 4) {
                rgb = (y % 6 == 0 || x % 9 == 0) ? 0x202020 : 0xF0F0E0;  // a window with text-like lines
            }
            pixels[y * width + x] = Opaque(rgb);
        }
    }
    return picture;
}

inline Picture Checkerboard(int width, int height, std::uint32_t even, std::uint32_t odd) {
    Picture picture(width, height);
    for (int i = 0; i < width * height; ++i) {
        picture.GetPixels()[i] = (i % width + i / width) % 2 ? odd : even;
    }
    return picture;
}

// Mean difference of the B, G, R channels of two pictures of one size.
struct Difference {
    double mean = 0;
};

inline Difference Compare(Picture const& a, Picture const& b) {
    Difference difference;
    std::size_t count = static_cast<std::size_t>(a.GetWidth()) * a.GetHeight();
    for (std::size_t i = 0; i < count; ++i) {
        for (int c = 0; c < 3; ++c) {
            int delta = std::abs(static_cast<int>(Channel(a.GetPixels()[i], c)) -
                                 static_cast<int>(Channel(b.GetPixels()[i], c)));
            difference.mean += delta;
        }
    }
    difference.mean /= static_cast<double>(count * 3);
    return difference;
}

inline bool SamePixels(Picture const& a, Picture const& b) {
    return a.GetWidth() == b.GetWidth() && a.GetHeight() == b.GetHeight() &&
           std::equal(a.GetPixels(), a.GetPixels() + a.GetWidth() * a.GetHeight(), b.GetPixels());
}
