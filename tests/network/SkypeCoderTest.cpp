#include <gtest/gtest.h>

#include <memory>

#include <zlib.h>

#include <climits>
#include <cstring>
#include <random>

#include "../ErrorText.h"
#include "foundation/Errors.h"
#include "network/ControlMessages.h"
#include "network/NetworkMessage.h"
#include "network/SkypeCoder.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string Text(Bytes const& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::string Decoded(char const* text) {
    SkypeCoder coder;
    std::vector<char> const& bytes = coder.Decode(text, 0);
    return std::string(bytes.begin(), bytes.end());
}

std::string UncompressError(char const* text, unsigned int expectedSize) {
    return ErrorText<NetworkError>([&] {
        Bytes output;
        DecodeAndUncompress(output, text, expectedSize);
    });
}

// Random bytes drawn mostly from `alphabet`, sometimes from anything.
Bytes RandomBytes(std::mt19937& random, std::size_t size, std::string const& alphabet) {
    Bytes bytes(size);
    std::uniform_int_distribution<int> any(0, 255);
    for (unsigned char& b : bytes) {
        int pick = any(random);
        b = alphabet.empty() || pick < 32 ? static_cast<unsigned char>(any(random))
                                          : static_cast<unsigned char>(alphabet[pick % alphabet.size()]);
    }
    return bytes;
}

TEST(SkypeCoderTest, EncodeEscapesOnlyNulAndBackslash) {
    struct Case {
        std::string bytes;
        std::string text;
    };
    Case const cases[] = {
        {std::string("\0\\A", 3), "\\0\\\\A"},
        {"", ""},
        {"\x80\xff\x01\r\n0", "\x80\xff\x01\r\n0"},
        {std::string(1, '\0') + "0", "\\00"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(SkypeCoder::Encode(c.bytes.data(), static_cast<unsigned>(c.bytes.size())), c.text);
        EXPECT_EQ(Decoded(c.text.c_str()), c.bytes);
    }
}

TEST(SkypeCoderTest, DecodeIsLenientWithStrayBackslashes) {
    struct Case {
        std::string text;
        std::string bytes;
    };
    Case const cases[] = {
        {"\\", "\\"},
        {"a\\", "a\\"},
        {"\\\\\\", "\\\\"},
        {"\\\\\\0", std::string("\\\0", 2)},
        {"\\1\\0", std::string("\\1\0", 3)},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Decoded(c.text.c_str()), c.bytes);
    }

    // A second decode replaces the first one's bytes.
    SkypeCoder coder;
    coder.Decode("first text", 100);
    std::vector<char> const& second = coder.Decode("\\0", 0);
    EXPECT_EQ(std::string(second.begin(), second.end()), std::string(1, '\0'));
}

TEST(SkypeCoderTest, RandomBytesSurviveCodingAndCompression) {
    std::mt19937 random(20260101);
    std::string const alphabets[] = {"", std::string("\0\0\0\\0", 5), "ab"};
    SkypeCoder coder;
    for (std::string const& alphabet : alphabets) {
        for (std::size_t size : {0, 1, 5, 17, 1000, 65536, 140001}) {
            SCOPED_TRACE(std::to_string(alphabet.size()) + "/" + std::to_string(size));
            Bytes bytes = RandomBytes(random, size, alphabet);

            std::string text = SkypeCoder::Encode(bytes.data(), static_cast<unsigned>(size));
            EXPECT_EQ(std::strlen(text.c_str()), text.size());
            std::vector<char> const& decoded = coder.Decode(text.c_str(), 0);
            EXPECT_EQ(std::string(decoded.begin(), decoded.end()), Text(bytes));

            std::string packed = CompressAndEncode(bytes.data(), static_cast<unsigned>(size));
            ASSERT_EQ(std::strlen(packed.c_str()), packed.size());
            Bytes unpacked = {1, 2, 3};
            DecodeAndUncompress(unpacked, packed.c_str(), static_cast<unsigned>(size));
            EXPECT_TRUE(unpacked == bytes);
        }
    }
}

TEST(SkypeCoderTest, EscapesAtEveryPositionOfALongStreamDecode) {
    // A stored (level 0) zlib stream keeps the bytes as they are, so nearly every character of
    // its text is part of an escape pair, wherever the decoder cuts the text into pieces.
    std::mt19937 random(7);
    Bytes bytes = RandomBytes(random, 200000, std::string("\0\\", 2));
    Bytes stored(compressBound(static_cast<uLong>(bytes.size())));
    uLongf storedSize = static_cast<uLongf>(stored.size());
    ASSERT_EQ(compress2(stored.data(), &storedSize, bytes.data(), static_cast<uLong>(bytes.size()), 0), Z_OK);
    std::string text = SkypeCoder::Encode(stored.data(), static_cast<unsigned>(storedSize));
    ASSERT_GT(text.size(), 350000u);

    Bytes output;
    DecodeAndUncompress(output, text.c_str(), static_cast<unsigned>(bytes.size()));
    EXPECT_TRUE(output == bytes);
}

TEST(SkypeCoderTest, UncompressHonoursTheExpectedSize) {
    std::string const data = "clipboard text, clipboard text, clipboard text";
    std::string packed = CompressAndEncode(data.data(), static_cast<unsigned>(data.size()));
    unsigned size = static_cast<unsigned>(data.size());

    EXPECT_EQ(UncompressError(packed.c_str(), size), "<none>");
    EXPECT_EQ(UncompressError(packed.c_str(), size - 1), "Failed to uncompress buffer");
    EXPECT_EQ(UncompressError(packed.c_str(), 0), "Failed to uncompress buffer");

    // More room than needed: the output keeps the expected size, zero beyond the data.
    Bytes output;
    DecodeAndUncompress(output, packed.c_str(), size + 10);
    ASSERT_EQ(output.size(), size + 10);
    EXPECT_EQ(Text(Bytes(output.begin(), output.begin() + size)), data);
    EXPECT_EQ(output.back(), 0);

    std::string empty = CompressAndEncode(nullptr, 0);
    EXPECT_FALSE(empty.empty());
    EXPECT_EQ(UncompressError(empty.c_str(), 0), "<none>");
}

TEST(SkypeCoderTest, GarbageAndOversizedClaimsFailCleanly) {
    EXPECT_EQ(UncompressError("", 5), "Failed to uncompress buffer");
    EXPECT_EQ(UncompressError("not compressed at all", 100), "Failed to uncompress buffer");
    std::string packed = CompressAndEncode("abc", 3);
    EXPECT_EQ(UncompressError(packed.substr(0, packed.size() - 2).c_str(), 3), "Failed to uncompress buffer");

    // A peer's size claim above the limit is refused before any allocation.
    Bytes output = {7};
    for (unsigned size : {kMaxUncompressedSize + 1, static_cast<unsigned>(UINT_MAX)}) {
        EXPECT_EQ(ErrorText<NetworkError>([&] { DecodeAndUncompress(output, packed.c_str(), size); }),
                  "Failed to uncompress buffer");
        EXPECT_EQ(output, Bytes{7});
    }
    EXPECT_GE(kMaxUncompressedSize, 7680u * 4320u * 3u);
}

// A size claim must be backed by the data: zlib packs at most about 1032 bytes into one, and
// each message may cap its own size. The output grows with what the data really gives.
TEST(SkypeCoderTest, SizeClaimsTheDataCannotBackAreRefusedBeforeAllocating) {
    Bytes zeros(60000, 0);
    std::string packed = CompressAndEncode(zeros.data(), static_cast<unsigned>(zeros.size()));
    ASSERT_LT(packed.size(), 200u);
    EXPECT_EQ(UncompressError(packed.c_str(), 256u * 1024 * 1024), "Failed to uncompress buffer");
    EXPECT_EQ(UncompressError(packed.c_str(), static_cast<unsigned>(packed.size() * kMaxInflateRatio + 1)),
              "Failed to uncompress buffer");
    std::unique_ptr<NetworkMessage> clipboard;
    EXPECT_EQ(ErrorText<NetworkError>([&] {
                  clipboard.reset(
                      NetworkMessage::ParseFactory(ClipboardNetMsg::mId, ("268435456:" + packed).c_str()));
              }),
              "Failed to uncompress buffer");

    Bytes output;
    unsigned const size = static_cast<unsigned>(zeros.size());
    EXPECT_EQ(ErrorText<NetworkError>([&] { DecodeAndUncompress(output, packed.c_str(), size, size - 1); }),
              "Failed to uncompress buffer");
    DecodeAndUncompress(output, packed.c_str(), size, size);
    EXPECT_TRUE(output == zeros);

    // Several megabytes: the output grows step by step to the whole.
    Bytes large(5 * 1024 * 1024 + 3);
    for (std::size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<unsigned char>(i % 251);
    }
    std::string text = CompressAndEncode(large.data(), static_cast<unsigned>(large.size()));
    DecodeAndUncompress(output, text.c_str(), static_cast<unsigned>(large.size()));
    EXPECT_TRUE(output == large);
}

}  // namespace
