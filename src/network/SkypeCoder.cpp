#include "network/SkypeCoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "foundation/Errors.h"

namespace {
bool NeedsEscape(unsigned char c) {
    return c == 0 || c == SkypeCoder::mEscape;
}
}  // namespace

std::string SkypeCoder::Encode(void const* data, unsigned int size) {
    auto bytes = static_cast<char const*>(data);
    std::string text;
    text.reserve(size);
    // Runs of plain bytes go in one append: only NUL and the escape character grow the text.
    unsigned int runStart = 0;
    for (unsigned int i = 0; i < size; ++i) {
        if (NeedsEscape(static_cast<unsigned char>(bytes[i]))) {
            text.append(bytes + runStart, i - runStart);
            text += mEscape;
            text += bytes[i] == 0 ? '0' : mEscape;
            runStart = i + 1;
        }
    }
    text.append(bytes + runStart, size - runStart);
    return text;
}

std::vector<char> const& SkypeCoder::Decode(char const* text, unsigned int sizeHint) {
    std::size_t length = std::strlen(text);
    mBuffer.clear();
    // Decoding never lengthens the text, so the hint need not be trusted beyond that.
    if (sizeHint != 0) {
        mBuffer.reserve(std::min<std::size_t>(sizeHint, length));
    }
    char const* end = text + length;
    char const* p = text;
    while (p < end) {
        auto escape = static_cast<char const*>(std::memchr(p, mEscape, end - p));
        if (escape == nullptr) {
            mBuffer.insert(mBuffer.end(), p, end);
            break;
        }
        mBuffer.insert(mBuffer.end(), p, escape);
        char next = escape[1];  // the NUL at worst
        if (next == '0' || next == mEscape) {
            mBuffer.push_back(next == '0' ? '\0' : mEscape);
            p = escape + 2;
        } else {
            mBuffer.push_back(mEscape);
            p = escape + 1;
        }
    }
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
    SkypeCoder coder;
    std::vector<char> const& compressed = coder.Decode(text, expectedSize);
    output.assign(expectedSize, 0);
    uLongf outputSize = expectedSize;
    if (uncompress(output.data(), &outputSize, reinterpret_cast<Bytef const*>(compressed.data()),
                   static_cast<uLong>(compressed.size())) != Z_OK) {
        Raise(NetworkError("Failed to uncompress buffer"));
    }
}
