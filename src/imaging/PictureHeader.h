#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// What an encoded picture claims about itself, read without decoding it, so that absurd
// dimensions from outside are refused before a decoder allocates for them.
struct PictureHeader {
    GUID container;       // WIC container format: PNG, JPEG, GIF or BMP
    std::uint32_t width;  // of the picture (the logical screen for a GIF)
    std::uint32_t height;
    std::uint64_t decodedPixels;  // what a decoder holds: width x height, or every frame of a GIF

    // Recognises PNG, JPEG, GIF and BMP by their signatures and reads their dimensions.
    // Raises BaseError for any other data and for headers cut short or malformed. Reads
    // nothing beyond `size` bytes; the walk through a JPEG or GIF is bounded by the data.
    static PictureHeader Read(unsigned char const* data, std::size_t size);
};
