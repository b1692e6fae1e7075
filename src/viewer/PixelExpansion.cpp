#include "viewer/PixelExpansion.h"

namespace {

struct ExactColour {
    unsigned char red, green, blue;
};

// Colours a sharer's desktop is full of (the 16 VGA colours and a few common UI tints): these
// come out exactly instead of at the middle of their 3-3-2 step.
ExactColour const kExactColours[] = {
    {0, 0, 0},       {128, 128, 128}, {0, 0, 128},     {0, 128, 128},   {0, 128, 0},     {128, 128, 0},
    {128, 0, 0},     {128, 0, 128},   {64, 128, 128},  {64, 64, 0},     {255, 128, 0},   {128, 64, 0},
    {255, 0, 128},   {0, 64, 128},    {255, 255, 255}, {192, 192, 192}, {0, 0, 255},     {0, 255, 255},
    {0, 255, 0},     {255, 255, 0},   {255, 0, 0},     {255, 0, 255},   {128, 255, 255}, {128, 255, 0},
    {255, 255, 128}, {255, 128, 128}, {128, 0, 255},   {64, 128, 255},
};

constexpr std::uint32_t Colour(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return (red & 0xFF) << 16 | (green & 0xFF) << 8 | (blue & 0xFF);
}

}  // namespace

struct PixelExpansion::Palette {
    std::uint32_t colours[256];
    // A 5-6-5 pixel's colour is low565[low byte] | high565[high byte]: the byte boundary
    // splits green, whose parts are put together by the OR.
    std::uint32_t low565[256];
    std::uint32_t high565[256];

    Palette() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            colours[i] = Colour((i & 0xE0) + 15, ((i & 0x1C) << 3) + 15, ((i & 0x03) << 6) + 31);
            low565[i] = From565(static_cast<std::uint16_t>(i)) & 0x00FFFF;
            high565[i] = From565(static_cast<std::uint16_t>(i << 8)) & 0xFFFF00;
        }
        for (ExactColour const& c : kExactColours) {
            colours[(c.red & 0xE0) | ((c.green & 0xE0) >> 3) | (c.blue >> 6)] =
                Colour(c.red, c.green, c.blue);
        }
    }
};

PixelExpansion::Palette const& PixelExpansion::GetPalette() {
    static Palette const palette;  // built once, on first use, by whichever thread gets there first
    return palette;
}

std::uint32_t PixelExpansion::From332(unsigned char pixel) {
    return GetPalette().colours[pixel];
}

std::uint32_t PixelExpansion::From565(std::uint16_t pixel) {
    return Colour(((pixel >> 8) & 0xF8) + 3, ((pixel >> 3) & 0xFC) | 1, ((pixel & 0x1F) << 3) + 3);
}

void PixelExpansion::ExpandRow(unsigned char const* pixels, std::size_t count, int bytesPerPixel,
                               std::uint32_t* out) {
    Palette const& palette = GetPalette();
    if (bytesPerPixel == 2) {
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = palette.low565[pixels[2 * i]] | palette.high565[pixels[2 * i + 1]];
        }
    } else if (bytesPerPixel == 1) {
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = palette.colours[pixels[i]];
        }
    }
}
