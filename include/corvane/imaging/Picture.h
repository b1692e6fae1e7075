#pragma once

#include "CorvaneApi.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/WinTypes.h"

// A picture in memory: 32-bit pixels B, G, R, A (as the uint32 0xAARRGGBB), rows top-down and
// unpadded. A plain value: copies are deep; shared holders use boost::shared_ptr<Picture>.
//
// Every operation works on any thread, whether or not that thread has initialised COM: the
// ones that need WIC initialise COM for the call and balance it before they return, and leave
// a thread that already has an apartment as it was. Const operations may run on one picture
// from several threads at once; changing operations need the caller's exclusion.
//
// Failures raise BaseError (or SystemError with the system's code) through Raise().
class CORVANE_API Picture {
public:
    enum class Format { Png, Jpeg };

    // Limits that keep pictures from outside from taking unbounded memory.
    static constexpr int kMaxSide = 16384;
    static constexpr std::uint64_t kMaxPixels = 64ull * 1024 * 1024;  // 256 MB of pixels
    static constexpr std::size_t kMaxEncodedBytes = 64u * 1024 * 1024;
    static constexpr int kDefaultJpegQuality = 75;

    // An empty picture (0 x 0).
    Picture();
    // Opaque black pixels. Sizes are checked as CheckSize does.
    Picture(int width, int height);

    // Copies packed pixels: rows top-down, `bytesPerLine` apart (at least a row's bytes), all
    // `height` x `bytesPerLine` bytes readable. 8 bits 3-3-2 (red in the high bits), 16 bits
    // 5-6-5 little-endian, 24 bits B, G, R or 32 bits B, G, R, A. The 8- and 16-bit levels are
    // spread evenly over 0 to 255.
    static Picture FromPixels(void const* pixels, int width, int height, int bitsPerPixel,
                              std::size_t bytesPerLine);
    // The JPEG that FromPixels(...).Encode(Format::Jpeg, jpegQuality) gives, encoded straight
    // from the packed rows without making a picture first. Raises as FromPixels does.
    static std::vector<unsigned char> EncodeJpeg(void const* pixels, int width, int height, int bitsPerPixel,
                                                 std::size_t bytesPerLine, int jpegQuality);
    // Copies a GDI bitmap (it may be selected into a context). The result is opaque: GDI
    // leaves the alpha byte undefined.
    static Picture FromBitmap(HBITMAP bitmap);
    // Decodes PNG, JPEG, GIF (first frame) or BMP, told apart by their contents. The bytes may
    // come from a peer: the dimensions in the header are checked against the limits, and
    // against `maxPixels` where the caller knows a smaller bound (a tile's rectangle), before
    // any decoder runs; anything else raises.
    static Picture Decode(void const* data, std::size_t size, std::uint64_t maxPixels = kMaxPixels);
    // Reads a file of at most kMaxEncodedBytes and decodes it as Decode does.
    static Picture Load(std::wstring const& path, std::uint64_t maxPixels = kMaxPixels);

    // Raises BaseError unless 1 <= width, height <= kMaxSide and width x height <= kMaxPixels.
    static void CheckSize(std::uint64_t width, std::uint64_t height);

    int GetWidth() const { return mWidth; }
    int GetHeight() const { return mHeight; }
    bool IsEmpty() const { return mPixels.empty(); }
    // GetWidth() x GetHeight() pixels, null for an empty picture.
    std::uint32_t const* GetPixels() const { return mPixels.empty() ? nullptr : mPixels.data(); }
    std::uint32_t* GetPixels() { return mPixels.empty() ? nullptr : mPixels.data(); }
    // The pixels as packed B, G, R bytes, rows top-down without padding; alpha is dropped.
    std::vector<unsigned char> GetBgr24() const;

    // A smoothly resampled copy: an area average where a side shrinks, linear interpolation
    // where it grows. Sizes are checked as CheckSize does.
    Picture Resample(int width, int height) const;
    // Black or white by luminance (0.299 R + 0.587 G + 0.114 B): above `level` is white.
    void Threshold(int level);
    // Maps every pixel to the nearest of the 16 standard VGA colours, without dithering.
    void ReduceTo16Colours();

    // PNG keeps every pixel exactly and is written in the smallest exact form: indexed for up
    // to 16 opaque colours (1 bit for two), else 24-bit, else with alpha. JPEG drops alpha and
    // takes `jpegQuality` 1 to 100 (clamped; 0 counts as 1). Raises for an empty picture.
    std::vector<unsigned char> Encode(Format format, int jpegQuality = kDefaultJpegQuality) const;
    // Encodes as Encode does and writes the file, replacing an old one.
    void Save(std::wstring const& path, Format format, int jpegQuality = kDefaultJpegQuality) const;

    // Copies the picture into the context with its top-left corner at (x, y) (SRCCOPY).
    void Draw(HDC dc, int x, int y) const;
    // Stretches the picture over `target` (SRCCOPY) in the context's own stretch mode.
    // Alpha is not blended. An empty picture draws nothing.
    void Draw(HDC dc, RECT const& target) const;

private:
    std::vector<unsigned char> EncodePng() const;

    int mWidth;
    int mHeight;
    std::vector<std::uint32_t> mPixels;
};
