#pragma once

#include <cstddef>
#include <cstdint>

// The viewer's reading of the change packet's smaller pixels: 1 byte (3-3-2) through a palette
// that puts each level in the middle of its step and 28 common colours exactly, 2 bytes (5-6-5)
// with each level raised a little. Colours come as 32-bit DIB pixels, 0x00RRGGBB. Any thread.
class PixelExpansion {
public:
    // The colour of a 3-3-2 pixel.
    static std::uint32_t From332(unsigned char pixel);
    // The colour of a 5-6-5 pixel (red in the high bits).
    static std::uint32_t From565(std::uint16_t pixel);
    // Expands `count` packed pixels of 1 or 2 bytes (little-endian) into 32-bit pixels. Another
    // depth leaves `out` untouched.
    static void ExpandRow(unsigned char const* pixels, std::size_t count, int bytesPerPixel,
                          std::uint32_t* out);

private:
    struct Palette;
    static Palette const& GetPalette();
};
