#include "DesktopFrame.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace DesktopFrame {

namespace {

int Clamp(int value) {
    return value < 0 ? 0 : value > 255 ? 255 : value;
}

}  // namespace

std::vector<Rgb> Make() {
    std::vector<Rgb> pixels(kWidth * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            pixels[y * kWidth + x] = {20 + y / 16, 60 + y / 12, 120 + y / 10};
        }
    }
    std::mt19937 random(1280);
    auto fill = [&](int left, int top, int right, int bottom, Rgb colour) {
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x) {
                pixels[y * kWidth + x] = colour;
            }
        }
    };
    int const windows[][4] = {{40, 30, 700, 560}, {500, 200, 1200, 900}, {100, 600, 600, 1000}};
    for (auto const& w : windows) {
        fill(w[0], w[1], w[2], w[3], {236, 236, 236});
        for (int x = w[0]; x < w[2]; ++x) {
            fill(x, w[1], x + 1, w[1] + 24, {0, 80 + (x - w[0]) * 100 / (w[2] - w[0]), 200});
        }
        // Text: lines of short dark strokes, like glyphs.
        for (int line = w[1] + 36; line + 12 < w[3]; line += 18) {
            for (int x = w[0] + 8; x < w[2] - 16;) {
                int word = 8 + static_cast<int>(random() % 50);
                for (int stroke = x; stroke < std::min(x + word, w[2] - 8); stroke += 1 + random() % 3) {
                    int height = 4 + static_cast<int>(random() % 8);
                    fill(stroke, line + 12 - height, stroke + 1, line + 12, {30, 30, 30});
                }
                x += word + 6;
            }
        }
    }
    // A photo: smooth shapes with a little sensor noise.
    std::uniform_int_distribution<int> noise(-6, 6);
    for (int y = 620; y < 980; ++y) {
        for (int x = 720; x < 1240; ++x) {
            double v = std::sin(x / 37.0) * std::cos(y / 23.0);
            pixels[y * kWidth + x] = {static_cast<int>(128 + 90 * v) + noise(random),
                                      100 + (x + y) % 80 + noise(random),
                                      static_cast<int>(128 - 80 * v) + noise(random)};
        }
    }
    return pixels;
}

std::vector<unsigned char> Pack(std::vector<Rgb> const& pixels, int bitsPerPixel) {
    std::vector<unsigned char> packed;
    packed.reserve(pixels.size() * bitsPerPixel / 8);
    for (Rgb const& p : pixels) {
        int r = Clamp(p.r), g = Clamp(p.g), b = Clamp(p.b);
        if (bitsPerPixel == 24) {
            packed.insert(packed.end(), {static_cast<unsigned char>(b), static_cast<unsigned char>(g),
                                         static_cast<unsigned char>(r)});
        } else if (bitsPerPixel == 8) {
            packed.push_back(static_cast<unsigned char>((r & 0xE0) | (g >> 3 & 0x1C) | b >> 6));
        } else {
            unsigned value = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
            packed.insert(packed.end(),
                          {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8)});
        }
    }
    return packed;
}

}  // namespace DesktopFrame
