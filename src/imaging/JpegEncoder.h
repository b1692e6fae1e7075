#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A baseline JPEG encoder: JFIF, YCbCr with chroma halved in both directions, the standard
// Huffman tables. WIC's JPEG encoder on Wine ignores the requested quality; this one honours it,
// so the picture library encodes every JPEG here and leaves decoding to WIC.
class JpegEncoder {
public:
    // Encodes packed pixels straight from their rows (top-down, `bytesPerLine` apart): 8 bits
    // 3-3-2, 16 bits 5-6-5, 24 bits B, G, R, anything else 32 bits B, G, R, A (alpha ignored),
    // read as Picture::FromPixels reads them. `quality` is on libjpeg's scale, 1 (smallest) to
    // 100 (best); values outside are clamped. Width and height must be 1 to 65535; the caller
    // checks the rows.
    static std::vector<unsigned char> Encode(void const* pixels, int width, int height, int bitsPerPixel,
                                             std::size_t bytesPerLine, int quality);
};
