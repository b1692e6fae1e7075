#include "capture/PixelExpansion.h"

#include <cstring>

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

RGBTRIPLE Triple(int red, int green, int blue) {
    RGBTRIPLE triple;
    triple.rgbtRed = static_cast<BYTE>(red);
    triple.rgbtGreen = static_cast<BYTE>(green);
    triple.rgbtBlue = static_cast<BYTE>(blue);
    return triple;
}

}  // namespace

struct PixelExpansion::Palette {
    RGBTRIPLE colours[256];

    Palette() {
        for (int i = 0; i < 256; ++i) {
            colours[i] = Triple((i & 0xE0) + 15, ((i & 0x1C) << 3) + 15, ((i & 0x03) << 6) + 31);
        }
        for (ExactColour const& c : kExactColours) {
            colours[(c.red & 0xE0) | ((c.green & 0xE0) >> 3) | (c.blue >> 6)] =
                Triple(c.red, c.green, c.blue);
        }
    }
};

PixelExpansion::Palette const& PixelExpansion::GetPalette() {
    static Palette const palette;  // built once, on first use, by whichever thread gets there first
    return palette;
}

RGBTRIPLE PixelExpansion::From332(unsigned char pixel) {
    return GetPalette().colours[pixel];
}

RGBTRIPLE PixelExpansion::From565(std::uint16_t pixel) {
    return Triple(((pixel >> 8) & 0xF8) + 3, ((pixel >> 3) & 0xFC) | 1, ((pixel & 0x1F) << 3) + 3);
}

void PixelExpansion::ExpandRow(unsigned char const* pixels, std::size_t count, int bytesPerPixel,
                               unsigned char* bgr) {
    if (bytesPerPixel == 3) {
        std::memcpy(bgr, pixels, count * 3);
    } else if (bytesPerPixel == 2) {
        for (std::size_t i = 0; i < count; ++i, bgr += 3) {
            RGBTRIPLE colour = From565(static_cast<std::uint16_t>(pixels[2 * i] | pixels[2 * i + 1] << 8));
            std::memcpy(bgr, &colour, 3);
        }
    } else if (bytesPerPixel == 1) {
        RGBTRIPLE const* colours = GetPalette().colours;
        for (std::size_t i = 0; i < count; ++i, bgr += 3) {
            std::memcpy(bgr, &colours[pixels[i]], 3);
        }
    }
}
