#include "ZlibLevels.h"

#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "DesktopFrame.h"
#include "capture/ScreenGrab.h"
#include "codec/ScreenEncoder.h"

namespace {

using Bytes = std::vector<unsigned char>;

constexpr int kRepeats = 3;
constexpr int kWidth = DesktopFrame::kWidth;
constexpr int kHeight = DesktopFrame::kHeight;
constexpr int kLevels[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
// Link rates in bytes a second; 0 stands for a link faster than any compression.
constexpr int kRates[] = {0, 4000000, 2000000, 1000000, 500000, 250000, 128000};

struct Content {
    std::string name;
    int width, height;
    Bytes pixels;
};

// The demo's kind of screen at `frame`: a plain desktop, and on it a light window with a title
// line, a status line and four solid shapes on their paths, drawn by GDI and read back as the
// grabbing frame buffer reads the screen.
Content SceneContent(int bytesPerPixel, int frame) {
    Content content{"scene", kWidth, kHeight, Bytes(std::size_t(kWidth) * kHeight * bytesPerPixel)};
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, kWidth, kHeight);
    ReleaseDC(nullptr, screen);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    auto fill = [dc](RECT const& rect, COLORREF colour) {
        HBRUSH brush = CreateSolidBrush(colour);
        FillRect(dc, &rect, brush);
        DeleteObject(brush);
    };
    fill({0, 0, kWidth, kHeight}, RGB(58, 110, 165));
    RECT const window = {80, 80, 720, 500};
    fill(window, RGB(236, 240, 246));
    for (int i = 0; i < 4; ++i) {
        double const t = frame / 20.0 * (0.6 + 0.25 * i) + i;
        int const x = window.left + 140 + static_cast<int>(380 * (0.5 + 0.5 * std::sin(t)));
        int const y = window.top + 110 + static_cast<int>(220 * (0.5 + 0.5 * std::cos(t)));
        fill({x, y, x + 80, y + 50 + 20 * (i % 2)}, RGB(60 * i, 200 - 40 * i, 90 + 50 * i));
    }
    SetBkMode(dc, TRANSPARENT);
    char const title[] = "Corvane demo   12:34:56.789   frame 1234";
    char const status[] = "alice's desktop, shown to bob through the messenger";
    TextOutA(dc, window.left + 100, window.top + 30, title, int(std::strlen(title)));
    TextOutA(dc, window.left + 100, window.bottom - 40, status, int(std::strlen(status)));
    ScreenGrab::Grab(dc, {0, 0, kWidth, kHeight}, content.pixels.data(), SRCCOPY, bytesPerPixel);
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return content;
}

// One rectangle covering the content: a full-screen change.
Bytes PacketOf(Content const& content) {
    Bytes packet(12 + content.pixels.size());
    packet[0] = 1;
    std::uint16_t const edges[4] = {0, 0, std::uint16_t(content.width), std::uint16_t(content.height)};
    std::memcpy(packet.data() + 4, edges, sizeof edges);
    std::copy(content.pixels.begin(), content.pixels.end(), packet.begin() + 12);
    return packet;
}

struct LevelResult {
    int level;
    double seconds;
    std::size_t wireBytes;
};

// Compressing plus sending at `rate` (bytes a second; 0: sending costs nothing).
double Total(LevelResult const& r, int rate) {
    return r.seconds + (rate > 0 ? double(r.wireBytes) / rate : 0.0);
}

void BenchContent(Content const& content, int bits) {
    Bytes const packet = PacketOf(content);
    auto const size = static_cast<unsigned long>(packet.size());
    tagSIZE const frame = {content.width, content.height};
    std::string const prefix = "ZlibLevel/" + content.name + "/" + std::to_string(bits) + "bpp";
    Bytes compressed(compressBound(size));
    double const baseline = BestSeconds(kRepeats, [&] {
        uLongf compressedSize = static_cast<uLongf>(compressed.size());
        compress2(compressed.data(), &compressedSize, packet.data(), size, Z_BEST_COMPRESSION);
    });
    std::vector<LevelResult> results;
    for (int level : kLevels) {
        std::size_t wire = 0;
        double const seconds = BestSeconds(kRepeats, [&] {
            ScreenEncoder::Settings settings{static_cast<unsigned char>(bits), false, 0, level};
            wire = ScreenEncoder::Encode(packet.data(), size, frame, 0, settings).ToString().size();
        });
        results.push_back({level, seconds, wire});
        std::printf(
            "{\"name\": \"%s/level%d\", \"bytes\": %lu, \"seconds\": %.6f, \"rate\": %.4g, \"baseline\": "
            "\"compress2 level 9\", \"baseline_rate\": %.4g, \"ratio\": %.4f, \"unit\": \"bytes\", "
            "\"ms\": %.1f, \"wire_bytes\": %zu, \"wire_ratio\": %.4f}\n",
            prefix.c_str(), level, size, seconds, size / seconds, size / baseline, baseline / seconds,
            seconds * 1000, wire, double(wire) / size);
    }
    // Per link rate: the level the encoder picks against the best one for compressing and
    // sending this change.
    for (int rate : kRates) {
        LevelResult const* best = &results.front();
        LevelResult const* chosen = nullptr;
        int const pick = ScreenEncoder::ChooseZlibLevel(rate);
        for (LevelResult const& r : results) {
            best = Total(r, rate) < Total(*best, rate) ? &r : best;
            chosen = r.level == pick ? &r : chosen;
        }
        if (chosen == nullptr) {
            continue;
        }
        std::printf(
            "{\"name\": \"ZlibChoice/%s/%s\", \"chosen_level\": %d, \"best_level\": %d, \"seconds\": %.4f, "
            "\"best_seconds\": %.4f, \"ratio\": %.4f}\n",
            prefix.c_str() + std::strlen("ZlibLevel/"), rate > 0 ? std::to_string(rate).c_str() : "unlimited",
            chosen->level, best->level, Total(*chosen, rate), Total(*best, rate),
            Total(*best, rate) / Total(*chosen, rate));
    }
    std::fflush(stdout);
}

}  // namespace

void BenchZlibLevels() {
    std::vector<DesktopFrame::Rgb> const desktop = DesktopFrame::Make();
    for (int bits : {8, 16, 24}) {
        BenchContent({"desktop", kWidth, kHeight, DesktopFrame::Pack(desktop, bits)}, bits);
        BenchContent(SceneContent(bits / 8, 100), bits);
    }
}
