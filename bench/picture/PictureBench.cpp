// Picture encoding and decoding on a 1280 x 1024 desktop-like picture, against a plain copy of
// its pixels. Rates are bytes of 24-bit pixels per second; one JSON object per line.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "imaging/Picture.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 1024;
constexpr double kMinimumSeconds = 1.0;

// Gradient wallpaper, flat windows with rows of small glyph-like marks, and one noisy photo.
Picture Desktop() {
    Picture picture(kWidth, kHeight);
    std::uint32_t* pixels = picture.GetPixels();
    std::mt19937 random(1);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            std::uint32_t rgb = (x * 90 / kWidth + 20) << 16 | (y * 120 / kHeight + 60) << 8 | 0xA0;
            bool inWindow = x > 100 && x < 900 && y > 80 && y < 700;
            bool inPhoto = x > 950 && x < 1250 && y > 500 && y < 900;
            if (inWindow) {
                bool glyph = (y % 16) < 10 && (x % 7) < 4 && ((x / 7 * 31 + y / 16 * 17) % 5) != 0;
                rgb = y < 110 ? 0x2050A0 : glyph ? 0x101010 : 0xFFFFFF;
            } else if (inPhoto) {
                rgb = ((x + y) / 3 % 256) << 16 | (random() % 64 + x % 128) << 8 | (y % 200);
            }
            pixels[y * kWidth + x] = 0xFF000000 | rgb;
        }
    }
    return picture;
}

// Seconds per run of `work`, repeated for at least kMinimumSeconds.
double Time(std::function<void()> const& work) {
    using Clock = std::chrono::steady_clock;
    int runs = 0;
    Clock::time_point start = Clock::now();
    double elapsed = 0;
    do {
        work();
        ++runs;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < kMinimumSeconds || runs < 3);
    return elapsed / runs;
}

void Report(std::string const& name, double bytes, double seconds, double baselineRate, std::size_t output) {
    double rate = bytes / seconds;
    std::printf(
        "{\"name\": \"%s\", \"bytes\": %.0f, \"seconds\": %.6f, \"rate\": %.4g, \"baseline\": \"memcpy of "
        "the "
        "pixels\", \"baseline_rate\": %.4g, \"ratio\": %.4g, \"output_bytes\": %zu}\n",
        name.c_str(), bytes, seconds, rate, baselineRate, rate / baselineRate, output);
    std::fflush(stdout);
}

}  // namespace

int main() {
    Picture desktop = Desktop();
    Picture sixteen = desktop;
    sixteen.ReduceTo16Colours();
    double const bytes = kWidth * kHeight * 3.0;

    std::vector<unsigned char> source = desktop.GetBgr24();
    std::vector<unsigned char> copy(source.size());
    double baselineRate = bytes / Time([&] {
                              std::memcpy(copy.data(), source.data(), source.size());
                              source[copy[12345] % source.size()] ^=
                                  1;  // keeps the copy from being optimised away
                          });

    std::vector<unsigned char> encoded;
    for (int quality : {20, 50, 90}) {
        double seconds = Time([&] { encoded = desktop.Encode(Picture::Format::Jpeg, quality); });
        Report("PictureEncode/jpeg-q" + std::to_string(quality), bytes, seconds, baselineRate,
               encoded.size());
    }
    std::vector<unsigned char> jpeg = encoded;
    double seconds = Time([&] { encoded = desktop.Encode(Picture::Format::Png); });
    Report("PictureEncode/png-24bit", bytes, seconds, baselineRate, encoded.size());
    std::vector<unsigned char> png = encoded;
    seconds = Time([&] { encoded = sixteen.Encode(Picture::Format::Png); });
    Report("PictureEncode/png-16colours", bytes, seconds, baselineRate, encoded.size());

    // The screen cut into 64 x 64 tiles, each encoded on its own as change rectangles are.
    std::vector<unsigned char> reduced = sixteen.GetBgr24();
    std::size_t tileBytes = 0;
    seconds = Time([&] {
        tileBytes = 0;
        for (int top = 0; top < kHeight; top += 64) {
            for (int left = 0; left < kWidth; left += 64) {
                unsigned char const* corner = reduced.data() + (top * kWidth + left) * 3;
                tileBytes +=
                    Picture::FromPixels(corner, 64, 64, 24, kWidth * 3).Encode(Picture::Format::Png).size();
            }
        }
    });
    Report("PictureEncode/png-16colours-64x64-tiles", bytes, seconds, baselineRate, tileBytes);

    seconds = Time([&] { Picture::Decode(jpeg.data(), jpeg.size()); });
    Report("PictureDecode/jpeg-q90", bytes, seconds, baselineRate, jpeg.size());
    seconds = Time([&] { Picture::Decode(png.data(), png.size()); });
    Report("PictureDecode/png-24bit", bytes, seconds, baselineRate, png.size());
    seconds = Time([&] {
        sixteen = desktop;
        sixteen.ReduceTo16Colours();
    });
    Report("PictureReduceTo16Colours", bytes, seconds, baselineRate, 0);
    seconds = Time([&] { desktop.Resample(160, 128); });
    Report("PictureResample/to-160x128", bytes, seconds, baselineRate, 0);
    return 0;
}
