#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

// A decoder of ZMBV frames at 32 bits, written from the format's description and apart from
// the encoder, for reading recordings back: key frames restart the zlib stream and hold the
// whole picture; the others hold per-block motion vectors and XOR data against the picture
// before. Frames must come in file order from a key frame on.
class ZmbvDecoder {
public:
    ZmbvDecoder(int width, int height);
    ~ZmbvDecoder();
    ZmbvDecoder(ZmbvDecoder const&) = delete;
    ZmbvDecoder& operator=(ZmbvDecoder const&) = delete;

    // The picture after `frame` (0x00RRGGBB, rows top-down); `key` tells whether the frame was
    // a key frame. Raises std::runtime_error for a frame it cannot decode.
    std::vector<std::uint32_t> const& Decode(std::string const& frame, bool& key);

private:
    std::vector<unsigned char> Inflate(unsigned char const* data, std::size_t size);
    void ApplyDelta(std::vector<unsigned char> const& delta);
    void MoveBlock(int left, int top, int dx, int dy, unsigned char const* xorData);

    int mWidth;
    int mHeight;
    int mBlockWidth = 0;  // 0 until the first key frame
    int mBlockHeight = 0;
    z_stream mStream{};
    std::vector<std::uint32_t> mPicture;
    std::vector<std::uint32_t> mPrevious;
};
