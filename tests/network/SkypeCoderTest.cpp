#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>

#include "../ErrorText.h"
#include "foundation/Errors.h"
#include "network/SkypeCoder.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Only NUL and backslash are escaped; a backslash that starts no escape stands for itself.
// Random bytes survive coding and compression.
TEST(SkypeCoderTest, EncodeEscapesOnlyNulAndBackslashAndRandomBytesSurvive) {
    SkypeCoder coder;
    std::string const bytes("\0\\A\x80\xff\x01\r\n0", 9);
    EXPECT_EQ(SkypeCoder::Encode(bytes.data(), 9), "\\0\\\\A\x80\xff\x01\r\n0");
    std::string const decodings[][2] = {{"\\0\\\\A\x80\xff\x01\r\n0", bytes},
                                        {"\\00", std::string(1, '\0') + "0"},
                                        {"a\\", "a\\"},
                                        {"\\\\\\", "\\\\"},
                                        {"\\1\\0", std::string("\\1\0", 3)},
                                        {"", ""}};
    for (auto const& c : decodings) {
        std::vector<char> const& decoded = coder.Decode(c[0].c_str(), 0);
        EXPECT_EQ(std::string(decoded.begin(), decoded.end()), c[1]) << c[0];
    }
    std::mt19937 random(20260101);
    for (std::string const& alphabet : {std::string(), std::string("\0\0\0\\0", 5), std::string("ab")}) {
        for (std::size_t size : {0, 1, 5, 17, 1000, 65536, 140001}) {
            SCOPED_TRACE(std::to_string(alphabet.size()) + "/" + std::to_string(size));
            Bytes bytes(size);  // drawn mostly from the alphabet, sometimes from anything
            for (unsigned char& b : bytes) {
                unsigned pick = random() % 256;
                b = static_cast<unsigned char>(
                    alphabet.empty() || pick < 32 ? random() % 256 : alphabet[pick % alphabet.size()]);
            }
            std::string text = SkypeCoder::Encode(bytes.data(), static_cast<unsigned>(size));
            EXPECT_EQ(std::strlen(text.c_str()), text.size());
            std::vector<char> const& decoded = coder.Decode(text.c_str(), 0);
            EXPECT_TRUE(Bytes(decoded.begin(), decoded.end()) == bytes);

            // Stored (level 0), nearly every character of an escape-rich text is part of an escape
            // pair, wherever the decoder cuts the text into pieces.
            for (int level : {9, 0}) {
                std::string packed = CompressAndEncode(bytes.data(), static_cast<unsigned>(size), level);
                ASSERT_EQ(std::strlen(packed.c_str()), packed.size());
                Bytes unpacked = {1, 2, 3};
                DecodeAndUncompress(unpacked, packed.c_str(), size);
                EXPECT_TRUE(unpacked == bytes);
            }
        }
    }
}

// A size claim must fit the data and be backed by it (zlib packs at most about 1032 bytes into
// one); a claim above a limit is refused before anything is allocated.
TEST(SkypeCoderTest, SizeClaimsTheDataCannotBackAreRefused) {
    std::string const data = "clipboard text, clipboard text, clipboard text";
    std::string const packed = CompressAndEncode(data.data(), static_cast<unsigned>(data.size()));
    std::uint64_t const size = data.size();
    Bytes zeros(60000, 0);
    std::string const packedZeros = CompressAndEncode(zeros.data(), static_cast<unsigned>(zeros.size()));
    struct Case {
        char const* what;
        std::string text;
        std::uint64_t size;
        bool fails;
        std::uint64_t max = kMaxUncompressedSize;
    };
    Case const cases[] = {
        {"one short", packed, size - 1, true},
        {"empty stream", CompressAndEncode(nullptr, 0), 0, false},
        {"not compressed", "not compressed at all", 100, true},
        {"cut short", packed.substr(0, packed.size() - 2), size, true},
        {"above the limit", packed, kMaxUncompressedSize + 1ull, true, ~0ull},
        {"above the ratio", packedZeros, packedZeros.size() * kMaxInflateRatio + 1, true},
        {"above the message's cap", packedZeros, zeros.size(), true, zeros.size() - 1},
        {"at the message's cap", packedZeros, zeros.size(), false, zeros.size()},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes output;
        EXPECT_EQ(
            ErrorText<NetworkError>([&] { DecodeAndUncompress(output, c.text.c_str(), c.size, c.max); }),
            c.fails ? "Failed to uncompress buffer" : "<none>");
    }

    // More room than needed: zeros beyond the data; a failure leaves the output as it was.
    Bytes output = {7};
    EXPECT_THROW(DecodeAndUncompress(output, packed.c_str(), kMaxUncompressedSize + 1ull), NetworkError);
    EXPECT_EQ(output, Bytes{7});
    DecodeAndUncompress(output, packed.c_str(), size + 2);
    EXPECT_EQ(std::string(output.begin(), output.end()), data + std::string(2, '\0'));

    // Several megabytes: the output grows step by step to the whole.
    Bytes large(5 * 1024 * 1024 + 3);
    for (std::size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<unsigned char>(i % 251);
    }
    DecodeAndUncompress(output, CompressAndEncode(large.data(), static_cast<unsigned>(large.size())).c_str(),
                        large.size());
    EXPECT_TRUE(output == large);
}

}  // namespace
