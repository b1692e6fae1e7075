#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// A lossless screen encoder writing ZMBV (zlib motion blocks) at 32 bits a pixel. One zlib
// stream runs across the frames and starts again at each key frame, which holds the whole
// picture; the frames between hold, per 16x16 block, a motion vector and the XOR of the block
// against the previous picture where it differs. Unchanged screens cost a few bytes a frame.
// Not thread-safe: one caller (the compressor filter, under its lock).
class ZmbvEncoder {
public:
    static constexpr int kBlock = 16;
    static constexpr int kMaxSide = 16384;

    // A picture of `width` x `height` (1 to kMaxSide), a key frame every `keyInterval`
    // frames (at least 1), zlib `level` 1 to 9 for the frames in between.
    ZmbvEncoder(int width, int height, int keyInterval, int level);
    ~ZmbvEncoder();
    ZmbvEncoder(ZmbvEncoder const&) = delete;
    ZmbvEncoder& operator=(ZmbvEncoder const&) = delete;

    // The most bytes one encoded frame of that size can take.
    static std::size_t MaxFrameBytes(int width, int height);

    // Encodes one picture into `out` (replacing its contents); `key` tells whether it is a
    // key frame. `top` is the top row of 24-bit B, G, R or 32-bit B, G, R, X pixels, each
    // next row `rowStep` bytes on (negative for bottom-up bitmaps). False when zlib fails.
    bool Encode(unsigned char const* top, std::ptrdiff_t rowStep, int bitsPerPixel,
                std::vector<unsigned char>& out, bool& key);

private:
    void TakePicture(unsigned char const* top, std::ptrdiff_t rowStep, int bitsPerPixel);
    void BuildDelta();
    bool BlockChanged(int left, int top, int width, int height) const;
    void AppendXor(int left, int top, int width, int height);
    bool Deflate(unsigned char const* data, std::size_t size, std::vector<unsigned char>& out);

    int mWidth;
    int mHeight;
    int mBlocksAcross;
    int mBlocksDown;
    int mKeyInterval;
    int mLevel;
    int mSinceKey = -1;  // frames since the last key frame; -1: the next one is a key frame
    z_stream mStream{};
    bool mStreamReady = false;
    std::vector<std::uint32_t> mCurrent;   // rows top-down, X byte cleared
    std::vector<std::uint32_t> mPrevious;  // the last picture encoded
    std::vector<unsigned char> mDelta;     // vector table, then XOR blocks
};
