#include "ZmbvEncoder.h"

#include <algorithm>
#include <cstring>

namespace {

// The frame's first byte; a key frame's header follows it uncompressed.
constexpr unsigned char kKeyFlag = 1;
constexpr unsigned char kKeyHeader[] = {0,
                                        1,  // version 0.1
                                        1,  // zlib
                                        8,  // 32 bits a pixel
                                        ZmbvEncoder::kBlock,
                                        ZmbvEncoder::kBlock};
// Low bit of a vector's first byte: XOR data of the block follows.
constexpr unsigned char kXorFollows = 1;
constexpr std::size_t kFlushSlack = 64;  // sync-flush markers and block headers

std::size_t TableBytes(int blocks) {
    return (static_cast<std::size_t>(blocks) * 2 + 3) & ~std::size_t{3};
}

}  // namespace

ZmbvEncoder::ZmbvEncoder(int width, int height, int keyInterval, int level)
    : mWidth(std::clamp(width, 1, kMaxSide)),
      mHeight(std::clamp(height, 1, kMaxSide)),
      mBlocksAcross((mWidth + kBlock - 1) / kBlock),
      mBlocksDown((mHeight + kBlock - 1) / kBlock),
      mKeyInterval(std::max(keyInterval, 1)),
      mLevel(std::clamp(level, 1, 9)),
      mCurrent(static_cast<std::size_t>(mWidth) * mHeight),
      mPrevious(mCurrent.size()) {
    mStreamReady = deflateInit(&mStream, mLevel) == Z_OK;
    mDelta.reserve(TableBytes(mBlocksAcross * mBlocksDown) + mCurrent.size() * 4);
}

ZmbvEncoder::~ZmbvEncoder() {
    if (mStreamReady) {
        deflateEnd(&mStream);
    }
}

std::size_t ZmbvEncoder::MaxFrameBytes(int width, int height) {
    int blocks = ((width + kBlock - 1) / kBlock) * ((height + kBlock - 1) / kBlock);
    uLong raw = static_cast<uLong>(TableBytes(blocks) + static_cast<std::size_t>(width) * height * 4);
    return 1 + sizeof(kKeyHeader) + compressBound(raw) + kFlushSlack;
}

bool ZmbvEncoder::Encode(unsigned char const* top, std::ptrdiff_t rowStep, int bitsPerPixel,
                         std::vector<unsigned char>& out, bool& key) {
    if (!mStreamReady) {
        return false;
    }
    mCurrent.swap(mPrevious);
    TakePicture(top, rowStep, bitsPerPixel);
    key = mSinceKey < 0 || mSinceKey + 1 >= mKeyInterval;
    out.clear();
    bool done;
    if (key) {
        out.push_back(kKeyFlag);
        out.insert(out.end(), std::begin(kKeyHeader), std::end(kKeyHeader));
        done = deflateReset(&mStream) == Z_OK &&
               Deflate(reinterpret_cast<unsigned char const*>(mCurrent.data()), mCurrent.size() * 4, out);
    } else {
        out.push_back(0);
        BuildDelta();
        done = Deflate(mDelta.data(), mDelta.size(), out);
    }
    // A failed frame leaves the stream in an unknown state: start again with a key frame.
    mSinceKey = done ? (key ? 0 : mSinceKey + 1) : -1;
    return done;
}

void ZmbvEncoder::TakePicture(unsigned char const* top, std::ptrdiff_t rowStep, int bitsPerPixel) {
    std::uint32_t* target = mCurrent.data();
    for (int y = 0; y < mHeight; ++y, top += rowStep, target += mWidth) {
        if (bitsPerPixel == 32) {
            std::memcpy(target, top, static_cast<std::size_t>(mWidth) * 4);
            for (int x = 0; x < mWidth; ++x) {
                target[x] &= 0x00FFFFFFu;  // GDI leaves the X byte undefined
            }
        } else {
            unsigned char const* p = top;
            for (int x = 0; x < mWidth; ++x, p += 3) {
                target[x] = p[0] | p[1] << 8 | static_cast<std::uint32_t>(p[2]) << 16;
            }
        }
    }
}

// Every block keeps its place (vector 0, 0): screens scroll rarely, and a search costs more
// time than it saves bytes on the usual content (windows redrawn in place).
void ZmbvEncoder::BuildDelta() {
    int blocks = mBlocksAcross * mBlocksDown;
    mDelta.assign(TableBytes(blocks), 0);
    for (int row = 0; row < mBlocksDown; ++row) {
        int top = row * kBlock;
        int height = std::min(kBlock, mHeight - top);
        for (int column = 0; column < mBlocksAcross; ++column) {
            int left = column * kBlock;
            int width = std::min(kBlock, mWidth - left);
            if (BlockChanged(left, top, width, height)) {
                mDelta[static_cast<std::size_t>(row * mBlocksAcross + column) * 2] = kXorFollows;
                AppendXor(left, top, width, height);
            }
        }
    }
}

bool ZmbvEncoder::BlockChanged(int left, int top, int width, int height) const {
    std::size_t at = static_cast<std::size_t>(top) * mWidth + left;
    for (int y = 0; y < height; ++y, at += mWidth) {
        if (std::memcmp(&mCurrent[at], &mPrevious[at], static_cast<std::size_t>(width) * 4) != 0) {
            return true;
        }
    }
    return false;
}

void ZmbvEncoder::AppendXor(int left, int top, int width, int height) {
    std::size_t written = mDelta.size();
    mDelta.resize(written + static_cast<std::size_t>(width) * height * 4);
    unsigned char* target = mDelta.data() + written;
    std::size_t at = static_cast<std::size_t>(top) * mWidth + left;
    for (int y = 0; y < height; ++y, at += mWidth) {
        for (int x = 0; x < width; ++x, target += 4) {
            std::uint32_t difference = mCurrent[at + x] ^ mPrevious[at + x];
            std::memcpy(target, &difference, 4);  // little-endian, as the pixels are stored
        }
    }
}

// Appends the compressed bytes and flushes to a byte boundary, so that the frame decodes
// without the next one while the stream goes on.
bool ZmbvEncoder::Deflate(unsigned char const* data, std::size_t size, std::vector<unsigned char>& out) {
    std::size_t start = out.size();
    out.resize(start + compressBound(static_cast<uLong>(size)) + kFlushSlack);
    mStream.next_in = const_cast<Bytef*>(data);
    mStream.avail_in = static_cast<uInt>(size);
    mStream.next_out = out.data() + start;
    mStream.avail_out = static_cast<uInt>(out.size() - start);
    int result = deflate(&mStream, Z_SYNC_FLUSH);
    bool done = result == Z_OK && mStream.avail_in == 0 && mStream.avail_out > 0;
    out.resize(done ? out.size() - mStream.avail_out : start);
    return done;
}
