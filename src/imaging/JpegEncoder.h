#pragma once

#include <cstdint>
#include <vector>

// A baseline JPEG encoder: JFIF, YCbCr with chroma halved in both directions, the standard
// Huffman tables. WIC's JPEG encoder on Wine ignores the requested quality; this one honours it,
// so the picture library encodes every JPEG here and leaves decoding to WIC.
class JpegEncoder {
public:
    // Encodes 32-bit BGRA pixels (top-down rows of `width` pixels; alpha is ignored) at a quality
    // on libjpeg's scale, 1 (smallest) to 100 (best); values outside are clamped. Width and
    // height must be 1 to 65535.
    static std::vector<unsigned char> Encode(std::uint32_t const* pixels, int width, int height, int quality);
};
