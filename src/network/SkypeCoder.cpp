#include "network/SkypeCoder.h"

#include <emmintrin.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "foundation/Errors.h"

namespace {

// Decoded text is handed to zlib in pieces of this size, so that no copy of the whole
// compressed data is ever made.
constexpr std::size_t kInflateChunk = 65536;

// Bit i is set when p[i] is a NUL or the escape character, for the 16 bytes at p.
int SpecialMask(char const* p) {
    __m128i const block = _mm_loadu_si128(reinterpret_cast<__m128i const*>(p));
    __m128i const escape = _mm_set1_epi8(SkypeCoder::mEscape);
    return _mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(block, _mm_setzero_si128()), _mm_cmpeq_epi8(block, escape)));
}

bool IsSpecial(char c) {
    return c == '\0' || c == SkypeCoder::mEscape;
}

// The first NUL or escape character in [p, end), or end. Sixteen bytes at a time: scanning
// is the whole cost of the coding beyond zlib.
char const* FindNulOrEscape(char const* p, char const* end) {
    for (; end - p >= 16; p += 16) {
        if (int found = SpecialMask(p)) {
            return p + __builtin_ctz(found);
        }
    }
    while (p < end && !IsSpecial(*p)) {
        ++p;
    }
    return p;
}

// Copies plain bytes from p to out until a NUL or escape character, `end` or `limit`.
// Whole blocks are stored while there is room for them; bytes stored past the plain ones
// are overwritten later.
void CopyPlain(char const*& p, char const* end, char*& out, char const* limit) {
    while (end - p >= 16 && limit - out >= 16) {
        int found = SpecialMask(p);
        std::memcpy(out, p, 16);
        int plain = found ? __builtin_ctz(found) : 16;
        p += plain;
        out += plain;
        if (found) {
            return;
        }
    }
    while (p < end && out < limit && !IsSpecial(*p)) {
        *out++ = *p++;
    }
}

// Decodes from `p` towards `end` (the text's terminating NUL) into at most `room` bytes at
// `out`; moves `p` past what it used and returns the number of bytes written.
std::size_t DecodeInto(char const*& p, char const* end, char* out, std::size_t room) {
    char* const start = out;
    char const* const limit = out + room;
    while (true) {
        CopyPlain(p, end, out, limit);
        if (p == end || out == limit) {
            return static_cast<std::size_t>(out - start);
        }
        // At an escape: "\0" and "\\" stand for one byte; a lone backslash for itself.
        char next = p[1];  // the terminating NUL at worst
        bool pair = next == '0' || next == SkypeCoder::mEscape;
        *out++ = next == '0' ? '\0' : SkypeCoder::mEscape;
        p += pair ? 2 : 1;
    }
}

// Where the output starts when the announced size is large: it grows with what the data
// really gives, so an announced size costs nothing before the data backs it. Screens seldom
// pack better than 32:1, so most data fits the first room and is never moved.
constexpr std::size_t kFirstOutputRoom = 1u << 20;
constexpr std::size_t kFirstRoomPerTextByte = 32;

// The next output room: the first, then double, within the announced size.
void GrowOutput(std::vector<unsigned char>& output, std::size_t expectedSize, std::size_t textLength) {
    std::size_t first = std::max(kFirstOutputRoom, textLength * kFirstRoomPerTextByte);
    std::size_t room = output.empty() ? first : output.size() * 2;
    output.resize(std::min<std::size_t>(room, expectedSize));
}

// Inflates the escape-coded zlib stream `text` (`length` characters) into `output`, which
// grows up to `expectedSize`; returns the number of bytes produced, or -1 unless the stream
// ends within that size.
long long InflateEncoded(char const* text, std::size_t length, std::vector<unsigned char>& output,
                         std::size_t expectedSize) {
    z_stream stream = {};
    if (inflateInit(&stream) != Z_OK) {
        return -1;
    }
    output.clear();
    unsigned char none = 0;  // zlib wants somewhere to write even when there is no room
    stream.next_out = &none;
    char chunk[kInflateChunk];
    char const* p = text;
    char const* end = text + length;
    std::size_t produced = 0;
    int result = Z_OK;
    while (result == Z_OK) {
        if (stream.avail_out == 0 && output.size() < expectedSize) {
            produced = output.size();
            GrowOutput(output, expectedSize, length);
            stream.next_out = output.data() + produced;
            stream.avail_out = static_cast<uInt>(output.size() - produced);
        }
        if (stream.avail_in == 0) {
            if (p == end) {
                break;  // the text ended before the stream did
            }
            stream.avail_in = static_cast<uInt>(DecodeInto(p, end, chunk, sizeof(chunk)));
            stream.next_in = reinterpret_cast<Bytef*>(chunk);
        }
        result = inflate(&stream, Z_NO_FLUSH);
        if (result == Z_BUF_ERROR && (stream.avail_in == 0 || output.size() < expectedSize)) {
            result = Z_OK;  // it only wants more input or more room
        }
    }
    produced = output.size() - stream.avail_out;
    inflateEnd(&stream);
    return result == Z_STREAM_END ? static_cast<long long>(produced) : -1;
}

}  // namespace

std::string SkypeCoder::Encode(void const* data, unsigned int size) {
    auto p = static_cast<char const*>(data);
    char const* end = p + size;
    std::string text;
    text.reserve(size);
    while (true) {
        char const* special = FindNulOrEscape(p, end);
        text.append(p, special);
        if (special == end) {
            return text;
        }
        text += mEscape;
        text += *special == '\0' ? '0' : mEscape;
        p = special + 1;
    }
}

std::vector<char> const& SkypeCoder::Decode(char const* text, unsigned int sizeHint) {
    std::size_t length = std::strlen(text);
    mBuffer.clear();
    // Decoding never lengthens the text, so the hint need not be trusted beyond that.
    mBuffer.reserve(std::min<std::size_t>(sizeHint, length));
    mBuffer.resize(length);
    char const* p = text;
    mBuffer.resize(DecodeInto(p, text + length, mBuffer.data(), length));
    return mBuffer;
}

std::string CompressAndEncode(void const* data, unsigned int size, int level) {
    uLongf compressedSize = std::max<uLong>(size + size / 5 + 12, compressBound(size));
    std::vector<Bytef> compressed(compressedSize);
    if (compress2(compressed.data(), &compressedSize, static_cast<Bytef const*>(data), size, level) != Z_OK) {
        Raise(NetworkError("Failed to compress buffer"));
    }
    return SkypeCoder::Encode(compressed.data(), static_cast<unsigned int>(compressedSize));
}

void DecodeAndUncompress(std::vector<unsigned char>& output, char const* text, std::uint64_t expectedSize,
                         std::uint64_t maxSize) {
    std::size_t const length = std::strlen(text);
    // Decoding never lengthens the text, so its length bounds the compressed bytes.
    if (expectedSize > std::min<std::uint64_t>(maxSize, kMaxUncompressedSize) ||
        expectedSize > static_cast<std::uint64_t>(length) * kMaxInflateRatio) {
        Raise(NetworkError("Failed to uncompress buffer"));
    }
    long long produced = InflateEncoded(text, length, output, static_cast<std::size_t>(expectedSize));
    if (produced < 0) {
        Raise(NetworkError("Failed to uncompress buffer"));
    }
    // The sender states the exact size; a shorter result keeps it, zero beyond the data.
    output.resize(expectedSize);
}
