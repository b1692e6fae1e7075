#include "ZmbvDecoder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

constexpr unsigned char kKeyFrame = 1;
constexpr std::size_t kKeyHeaderBytes = 7;  // flags, version 0.1, compression, format, block size

}  // namespace

ZmbvDecoder::ZmbvDecoder(int width, int height)
    : mWidth(width), mHeight(height), mPicture(static_cast<std::size_t>(width) * height) {
    if (width < 1 || height < 1 || inflateInit(&mStream) != Z_OK) {
        throw std::runtime_error("ZMBV: cannot start a decoder");
    }
}

ZmbvDecoder::~ZmbvDecoder() {
    inflateEnd(&mStream);
}

std::vector<std::uint32_t> const& ZmbvDecoder::Decode(std::string const& frame, bool& key) {
    auto const* bytes = reinterpret_cast<unsigned char const*>(frame.data());
    if (frame.empty()) {
        throw std::runtime_error("ZMBV: empty frame");
    }
    key = (bytes[0] & kKeyFrame) != 0;
    if (key) {
        if (frame.size() < kKeyHeaderBytes || bytes[1] != 0 || bytes[2] != 1 || bytes[3] != 1 ||
            bytes[4] != 8 || bytes[5] == 0 || bytes[6] == 0) {
            throw std::runtime_error("ZMBV: not a zlib key frame of version 0.1 at 32 bits");
        }
        mBlockWidth = bytes[5];
        mBlockHeight = bytes[6];
        inflateReset(&mStream);
        std::vector<unsigned char> raw = Inflate(bytes + kKeyHeaderBytes, frame.size() - kKeyHeaderBytes);
        if (raw.size() != mPicture.size() * 4) {
            throw std::runtime_error("ZMBV: key frame of the wrong size");
        }
        std::memcpy(mPicture.data(), raw.data(), raw.size());
    } else {
        if (mBlockWidth == 0) {
            throw std::runtime_error("ZMBV: a delta frame before any key frame");
        }
        ApplyDelta(Inflate(bytes + 1, frame.size() - 1));
    }
    for (std::uint32_t& pixel : mPicture) {
        pixel &= 0x00FFFFFFu;
    }
    return mPicture;
}

std::vector<unsigned char> ZmbvDecoder::Inflate(unsigned char const* data, std::size_t size) {
    // No frame holds more than its vector table and every pixel once.
    std::vector<unsigned char> out(mPicture.size() * 4 + mPicture.size() / 64 * 2 + 4096);
    mStream.next_in = const_cast<Bytef*>(data);
    mStream.avail_in = static_cast<uInt>(size);
    mStream.next_out = out.data();
    mStream.avail_out = static_cast<uInt>(out.size());
    int result = inflate(&mStream, Z_SYNC_FLUSH);
    if ((result != Z_OK && result != Z_BUF_ERROR) || mStream.avail_in != 0) {
        throw std::runtime_error("ZMBV: the zlib data does not inflate");
    }
    out.resize(out.size() - mStream.avail_out);
    return out;
}

void ZmbvDecoder::ApplyDelta(std::vector<unsigned char> const& delta) {
    int across = (mWidth + mBlockWidth - 1) / mBlockWidth;
    int down = (mHeight + mBlockHeight - 1) / mBlockHeight;
    std::size_t table = (static_cast<std::size_t>(across) * down * 2 + 3) & ~std::size_t{3};
    if (delta.size() < table) {
        throw std::runtime_error("ZMBV: delta frame shorter than its vector table");
    }
    mPrevious = mPicture;
    std::size_t at = table;
    for (int row = 0; row < down; ++row) {
        for (int column = 0; column < across; ++column) {
            std::size_t entry = static_cast<std::size_t>(row * across + column) * 2;
            int dx = static_cast<signed char>(delta[entry]) >> 1;
            int dy = static_cast<signed char>(delta[entry + 1]) >> 1;
            int left = column * mBlockWidth, top = row * mBlockHeight;
            std::size_t bytes = static_cast<std::size_t>(std::min(mBlockWidth, mWidth - left)) *
                                std::min(mBlockHeight, mHeight - top) * 4;
            bool withXor = (delta[entry] & 1) != 0;
            if (withXor && at + bytes > delta.size()) {
                throw std::runtime_error("ZMBV: XOR data past the frame's end");
            }
            MoveBlock(left, top, dx, dy, withXor ? &delta[at] : nullptr);
            at += withXor ? bytes : 0;
        }
    }
}

// The block at (left, top) becomes the previous picture's block at the vector's offset (black
// outside the picture), XORed with `xorData` where given.
void ZmbvDecoder::MoveBlock(int left, int top, int dx, int dy, unsigned char const* xorData) {
    int right = std::min(left + mBlockWidth, mWidth), bottom = std::min(top + mBlockHeight, mHeight);
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            int sx = x + dx, sy = y + dy;
            bool inside = sx >= 0 && sy >= 0 && sx < mWidth && sy < mHeight;
            std::uint32_t pixel = inside ? mPrevious[static_cast<std::size_t>(sy) * mWidth + sx] : 0;
            if (xorData) {
                std::uint32_t change;
                std::memcpy(&change, xorData, 4);
                xorData += 4;
                pixel ^= change;
            }
            mPicture[static_cast<std::size_t>(y) * mWidth + x] = pixel;
        }
    }
}
