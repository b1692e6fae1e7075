#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// The viewer's reading of the change packet's pixels: 1 byte (3-3-2) through a palette that
// puts each level in the middle of its step and 28 common colours exactly, 2 bytes (5-6-5)
// with each level raised a little, 3 bytes (blue, green, red) as they are. Any thread.
class PixelExpansion {
public:
    // The colour of a 3-3-2 pixel.
    static RGBTRIPLE From332(unsigned char pixel);
    // The colour of a 5-6-5 pixel (red in the high bits).
    static RGBTRIPLE From565(std::uint16_t pixel);
    // Expands `count` packed pixels (2-byte ones little-endian) into blue, green, red bytes.
    // A depth other than 1, 2 or 3 leaves `bgr` untouched.
    static void ExpandRow(unsigned char const* pixels, std::size_t count, int bytesPerPixel,
                          unsigned char* bgr);

private:
    struct Palette;
    static Palette const& GetPalette();
};
