#include "RecordingFrames.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace RecordingFrames {

namespace {
constexpr std::uint32_t kBackgrounds[] = {0xC02020, 0x20C020, 0x2020C0, 0xC0C020,
                                          0x20C0C0, 0xC020C0, 0x808080};
constexpr int kSquare = 16;
}  // namespace

std::vector<std::uint32_t> Pixels(int width, int height, int index) {
    std::uint32_t background = kBackgrounds[index % (sizeof(kBackgrounds) / sizeof(kBackgrounds[0]))];
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height, background);
    int left = (index * kSquare) % (width > kSquare ? width - kSquare : 1);
    for (int y = 0; y < kSquare && y < height; ++y) {
        for (int x = left; x < left + kSquare && x < width; ++x) {
            pixels[static_cast<std::size_t>(y) * width + x] = 0xF0F0F0;
        }
    }
    return pixels;
}

HBITMAP Make(int width, int height, int index) {
    return MakeFrom(width, height, Pixels(width, height, index));
}

HBITMAP MakeFrom(int width, int height, std::vector<std::uint32_t> const& pixels) {
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap) {
        std::memcpy(bits, pixels.data(), pixels.size() * 4);
    }
    return bitmap;
}

double Distance(std::vector<std::uint32_t> const& a, std::vector<std::uint32_t> const& b) {
    if (a.size() != b.size() || a.empty()) {
        return 1e9;
    }
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        for (int shift = 0; shift < 24; shift += 8) {
            sum +=
                std::abs(static_cast<int>((a[i] >> shift) & 255) - static_cast<int>((b[i] >> shift) & 255));
        }
    }
    return sum / (a.size() * 3.0);
}

int Nearest(std::vector<std::uint32_t> const& pixels, int width, int height, int count) {
    std::vector<double> distances;
    for (int i = 0; i < count; ++i) {
        distances.push_back(Distance(pixels, Pixels(width, height, i)));
    }
    return static_cast<int>(std::min_element(distances.begin(), distances.end()) - distances.begin());
}

}  // namespace RecordingFrames
