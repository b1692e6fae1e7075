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

// Inflates the escape-coded zlib stream `text` into `room` bytes at `out`; returns the
// number of bytes produced, or -1 unless the stream ends within the room.
long InflateEncoded(char const* text, unsigned char* out, unsigned int room) {
    z_stream stream = {};
    if (inflateInit(&stream) != Z_OK) {
        return -1;
    }
    unsigned char none = 0;  // zlib wants somewhere to write even when there is no room
    stream.next_out = room ? out : &none;
    stream.avail_out = room;
    char chunk[kInflateChunk];
    char const* p = text;
    char const* end = text + std::strlen(text);
    int result = Z_OK;
    while (result == Z_OK) {
        if (stream.avail_in == 0) {
            if (p == end) {
                break;  // the text ended before the stream did
            }
            stream.avail_in = static_cast<uInt>(DecodeInto(p, end, chunk, sizeof(chunk)));
            stream.next_in = reinterpret_cast<Bytef*>(chunk);
        }
        result = inflate(&stream, Z_NO_FLUSH);
        if (result == Z_BUF_ERROR && stream.avail_in == 0) {
            result = Z_OK;  // it only wants more input
        }
    }
    long produced = static_cast<long>(room - stream.avail_out);
    inflateEnd(&stream);
    return result == Z_STREAM_END ? produced : -1;
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

std::string CompressAndEncode(void const* data, unsigned int size) {
    uLongf compressedSize = std::max<uLong>(size + size / 5 + 12, compressBound(size));
    std::vector<Bytef> compressed(compressedSize);
    if (compress2(compressed.data(), &compressedSize, static_cast<Bytef const*>(data), size,
                  Z_BEST_COMPRESSION) != Z_OK) {
        Raise(NetworkError("Failed to compress buffer"));
    }
    return SkypeCoder::Encode(compressed.data(), static_cast<unsigned int>(compressedSize));
}

void DecodeAndUncompress(std::vector<unsigned char>& output, char const* text, unsigned int expectedSize) {
    if (expectedSize > kMaxUncompressedSize) {
        Raise(NetworkError("Failed to uncompress buffer"));
    }
    // Bytes already there are overwritten, not cleared first; only a short result's tail is.
    output.resize(expectedSize);
    long produced = InflateEncoded(text, output.data(), expectedSize);
    if (produced < 0) {
        Raise(NetworkError("Failed to uncompress buffer"));
    }
    std::fill(output.begin() + produced, output.end(), 0);
}
