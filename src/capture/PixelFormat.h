#pragma once

#include <cstddef>

// The change packet's pixel formats: 1 byte (3-3-2), 2 bytes (5-6-5) or 3 bytes (blue, green,
// red) per pixel. Conversions bias each component towards the brighter level before
// truncating it, saturating at 255. Any thread.
class PixelFormat {
public:
    // a + b, at most 255.
    static unsigned char SafeAdd(unsigned char a, unsigned char b);
    // Converts `count` pixels of 8-bit blue, green, red into `bytesPerPixel`-byte pixels. An
    // unsupported depth leaves `out` untouched.
    static void ConvertRow(unsigned char const* bgr, std::size_t count, int bytesPerPixel,
                           unsigned char* out);
    // The same from 32-bit pixels (blue, green, red, unused), as a 32-bit DIB holds them.
    static void ConvertRow32(unsigned char const* bgrx, std::size_t count, int bytesPerPixel,
                             unsigned char* out);
    // True when `count` 32-bit pixels converted to `bytesPerPixel` equal `pixels`, without
    // storing the conversion.
    static bool EqualsRow32(unsigned char const* bgrx, std::size_t count, int bytesPerPixel,
                            unsigned char const* pixels);
    // True for the depths above.
    static bool IsSupported(int bytesPerPixel) { return bytesPerPixel >= 1 && bytesPerPixel <= 3; }
};
