#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

class Picture;

// The picture library's use of WIC, the system's imaging component: decoding and PNG
// encoding. Callable on any thread; each call brings its own ComScope. Failures raise
// SystemError with the HRESULT.
class WicCodec {
public:
    // Decodes the first frame of `size` bytes in the given container format. The frame's
    // size is checked with Picture::CheckSize before the pixels are copied.
    static Picture Decode(unsigned char const* data, std::size_t size, GUID const& container);

    // Encodes `height` rows of `stride` bytes in the given WIC pixel format into one frame of
    // the given container format, with the encoder's default options. An indexed format takes
    // its colours from `palette` (0xAARRGGBB), which is ignored otherwise.
    static std::vector<unsigned char> Encode(GUID const& container, void const* rows, std::uint32_t width,
                                             std::uint32_t height, std::uint32_t stride,
                                             GUID const& pixelFormat,
                                             std::vector<std::uint32_t> const& palette);
    // Encode as PNG.
    static std::vector<unsigned char> EncodePng(void const* rows, std::uint32_t width, std::uint32_t height,
                                                std::uint32_t stride, GUID const& pixelFormat,
                                                std::vector<std::uint32_t> const& palette);
};
