#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The escape coding that turns any bytes into NUL-free text for a protocol frame:
// NUL becomes "\0" (backslash, digit zero), a backslash doubles, every other byte stays.
// A coder is used by one thread at a time.
class SkypeCoder {
public:
    static constexpr char mEscape = '\\';

    SkypeCoder() = default;

    // The encoded text of `size` bytes at `data`.
    static std::string Encode(void const* data, unsigned int size);
    // Decodes the NUL-terminated `text` into the coder's buffer and returns it; the reference
    // is valid until the next Decode or the coder's end. A backslash that starts no escape
    // stands for itself. `sizeHint` (0: none) is the room to reserve.
    std::vector<char> const& Decode(char const* text, unsigned int sizeHint);

private:
    std::vector<char> mBuffer;
};

// The largest uncompressed size a peer may announce (an 8K screen at 3 bytes per pixel is
// about 100 MB): a larger one is refused before anything is allocated. Each message may set a
// smaller cap of its own.
constexpr unsigned int kMaxUncompressedSize = 256u * 1024 * 1024;
// zlib packs at most about 1032 bytes into one (a 258-byte match in two bits), so a size above
// that many times the compressed length is a lie.
constexpr unsigned long long kMaxInflateRatio = 1032;

// zlib at `level` (0 to 9; the best, 9, unless the caller trades size for time), then the escape
// coding. Raises NetworkError "Failed to compress buffer", also for a level zlib does not know.
std::string CompressAndEncode(void const* data, unsigned int size, int level = 9);
// The escape decoding, then zlib into `output`, which ends up exactly `expectedSize` bytes
// long (zero beyond what the data gave). Raises NetworkError "Failed to uncompress buffer"
// unless the data is one whole zlib stream that fits that size, and before anything is
// allocated when the size is above `maxSize`, above kMaxUncompressedSize or above what the
// text's length could inflate to. Sizes are whole 64-bit numbers: a peer's size is never cut
// to fit. The output grows with what zlib produces, and the text is decoded piece by piece as
// zlib consumes it. Any thread; keeps no state.
void DecodeAndUncompress(std::vector<unsigned char>& output, char const* text, std::uint64_t expectedSize,
                         std::uint64_t maxSize = kMaxUncompressedSize);
