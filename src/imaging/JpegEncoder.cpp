#include "imaging/JpegEncoder.h"

#include <xmmintrin.h>
#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>

#include "imaging/PackedPixels.h"

namespace {

constexpr std::uint8_t kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                      12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                      35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                      58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The example tables of the JPEG standard, natural order, scaled by quality below.
// clang-format off
constexpr std::uint8_t kLuminanceQuant[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,
    12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,
    14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,
    24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101,
    72, 92, 95, 98, 112, 100, 103, 99};
constexpr std::uint8_t kChrominanceQuant[64] = {
    17, 18, 24, 47, 99, 99, 99, 99,
    18, 21, 26, 66, 99, 99, 99, 99,
    24, 26, 56, 99, 99, 99, 99, 99,
    47, 66, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99};
// clang-format on

// The standard's Huffman tables: code counts per length 1..16, then the symbols.
constexpr std::uint8_t kDcLuminanceBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
constexpr std::uint8_t kDcChrominanceBits[16] = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
constexpr std::uint8_t kDcSymbols[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
constexpr std::uint8_t kAcLuminanceBits[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
constexpr std::uint8_t kAcLuminanceSymbols[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22,
    0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33,
    0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34,
    0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55,
    0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76,
    0x77, 0x78, 0x79, 0x7a, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96,
    0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5,
    0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4,
    0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1,
    0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
constexpr std::uint8_t kAcChrominanceBits[16] = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
constexpr std::uint8_t kAcChrominanceSymbols[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13,
    0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0, 0x15, 0x62,
    0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26, 0x27, 0x28, 0x29,
    0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54,
    0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75,
    0x76, 0x77, 0x78, 0x79, 0x7a, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94,
    0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3,
    0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2,
    0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea,
    0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

// Output scale of each row and column of the fast float DCT below.
constexpr float kDctScale[8] = {1.0f, 1.387039845f, 1.306562965f, 1.175875602f,
                                1.0f, 0.785694958f, 0.541196100f, 0.275899379f};

// The DCT below leaves a block's coefficients transposed: natural index v * 8 + u lands at
// u * 8 + v.
constexpr int Transposed(int natural) {
    return natural % 8 * 8 + natural / 8;
}

struct HuffmanTable {
    std::uint8_t const* bits;  // 16 counts
    std::uint8_t const* symbols;
    std::size_t symbolCount;
    std::uint8_t tableClassAndId;  // as written in the DHT segment
};

constexpr HuffmanTable kDcLuminance = {kDcLuminanceBits, kDcSymbols, 12, 0x00};
constexpr HuffmanTable kAcLuminance = {kAcLuminanceBits, kAcLuminanceSymbols, 162, 0x10};
constexpr HuffmanTable kDcChrominance = {kDcChrominanceBits, kDcSymbols, 12, 0x01};
constexpr HuffmanTable kAcChrominance = {kAcChrominanceBits, kAcChrominanceSymbols, 162, 0x11};

// Code and length per symbol, assigned canonically from a table.
struct HuffmanCodes {
    explicit HuffmanCodes(HuffmanTable const& table) : code(), length() {
        unsigned next = 0;
        std::size_t symbol = 0;
        for (int bits = 1; bits <= 16; ++bits) {
            for (int i = 0; i < table.bits[bits - 1]; ++i, ++symbol, ++next) {
                code[table.symbols[symbol]] = static_cast<std::uint16_t>(next);
                length[table.symbols[symbol]] = static_cast<std::uint8_t>(bits);
            }
            next <<= 1;
        }
    }
    std::uint16_t code[256];
    std::uint8_t length[256];
};

// The quantisation table of a quality, as libjpeg scales it: the values in natural order for
// the header, and the divisors in the DCT's transposed order.
struct QuantTable {
    QuantTable(std::uint8_t const* base, int quality) : value(), divisor() {
        int scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
        for (int i = 0; i < 64; ++i) {
            value[i] = static_cast<std::uint8_t>(std::clamp((base[i] * scale + 50) / 100, 1, 255));
            // Folds the DCT's output scale into the division.
            divisor[Transposed(i)] = 1.0f / (value[i] * kDctScale[i / 8] * kDctScale[i % 8] * 8.0f);
        }
    }
    std::uint8_t value[64];
    alignas(16) float divisor[64];
};

// Entropy-coded bits with the 0xFF byte stuffing of the scan data, 32 bits at a time.
class BitWriter {
public:
    explicit BitWriter(std::vector<unsigned char>& out) : mOut(out), mBits(0), mCount(0) {}

    // `count` is at most 32; `bits` holds nothing above it.
    void Write(std::uint32_t bits, int count) {
        mBits = mBits << count | bits;
        mCount += count;
        if (mCount >= 32) {
            mCount -= 32;
            PutWord(static_cast<std::uint32_t>(mBits >> mCount));
        }
    }
    // Pads the last byte with one bits and writes what is left.
    void Flush() {
        int pad = (8 - mCount % 8) % 8;
        mBits = mBits << pad | ((1u << pad) - 1);
        for (mCount += pad; mCount > 0;) {
            mCount -= 8;
            PutByte(static_cast<unsigned char>(mBits >> mCount));
        }
    }

private:
    void PutByte(unsigned char byte) {
        mOut.push_back(byte);
        if (byte == 0xFF) {
            mOut.push_back(0);
        }
    }
    void PutWord(std::uint32_t word) {
        std::uint32_t inverted = ~word;
        if (((inverted - 0x01010101u) & ~inverted & 0x80808080u) == 0) {  // no 0xFF byte
            unsigned char const bytes[4] = {
                static_cast<unsigned char>(word >> 24), static_cast<unsigned char>(word >> 16),
                static_cast<unsigned char>(word >> 8), static_cast<unsigned char>(word)};
            mOut.insert(mOut.end(), bytes, bytes + 4);
            return;
        }
        for (int shift = 24; shift >= 0; shift -= 8) {
            PutByte(static_cast<unsigned char>(word >> shift));
        }
    }

    std::vector<unsigned char>& mOut;
    std::uint64_t mBits;
    int mCount;
};

// Arai-Agui-Nakajima forward DCT across eight vectors, each holding four columns.
void Dct8(__m128* d) {
    __m128 const c0707 = _mm_set1_ps(0.707106781f), c0382 = _mm_set1_ps(0.382683433f);
    __m128 const c0541 = _mm_set1_ps(0.541196100f), c1306 = _mm_set1_ps(1.306562965f);
    __m128 tmp0 = d[0] + d[7], tmp7 = d[0] - d[7];
    __m128 tmp1 = d[1] + d[6], tmp6 = d[1] - d[6];
    __m128 tmp2 = d[2] + d[5], tmp5 = d[2] - d[5];
    __m128 tmp3 = d[3] + d[4], tmp4 = d[3] - d[4];

    __m128 tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3;
    __m128 tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
    d[0] = tmp10 + tmp11;
    d[4] = tmp10 - tmp11;
    __m128 z1 = (tmp12 + tmp13) * c0707;
    d[2] = tmp13 + z1;
    d[6] = tmp13 - z1;

    tmp10 = tmp4 + tmp5;
    tmp11 = tmp5 + tmp6;
    tmp12 = tmp6 + tmp7;
    __m128 z5 = (tmp10 - tmp12) * c0382;
    __m128 z2 = c0541 * tmp10 + z5;
    __m128 z4 = c1306 * tmp12 + z5;
    __m128 z3 = tmp11 * c0707;
    __m128 z11 = tmp7 + z3, z13 = tmp7 - z3;
    d[5] = z13 + z2;
    d[3] = z13 - z2;
    d[1] = z11 + z4;
    d[7] = z11 - z4;
}

// Rows 0..7 of an 8 x 8 block, columns 0..3 in `left` and 4..7 in `right`, become its columns.
void Transpose(__m128* left, __m128* right) {
    _MM_TRANSPOSE4_PS(left[0], left[1], left[2], left[3]);
    _MM_TRANSPOSE4_PS(right[0], right[1], right[2], right[3]);
    _MM_TRANSPOSE4_PS(left[4], left[5], left[6], left[7]);
    _MM_TRANSPOSE4_PS(right[4], right[5], right[6], right[7]);
    for (int i = 0; i < 4; ++i) {
        std::swap(right[i], left[4 + i]);
    }
}

// The quantised coefficients of the 8 x 8 samples at `samples` (rows `stride` apart), in the
// transposed order.
void Quantise(float const* samples, std::size_t stride, QuantTable const& quant, std::int16_t* out) {
    __m128 left[8], right[8];
    for (int row = 0; row < 8; ++row) {
        left[row] = _mm_loadu_ps(samples + row * stride);
        right[row] = _mm_loadu_ps(samples + row * stride + 4);
    }
    Dct8(left);
    Dct8(right);
    Transpose(left, right);
    Dct8(left);
    Dct8(right);
    for (int row = 0; row < 8; ++row) {
        __m128i low = _mm_cvtps_epi32(left[row] * _mm_load_ps(quant.divisor + row * 8));
        __m128i high = _mm_cvtps_epi32(right[row] * _mm_load_ps(quant.divisor + row * 8 + 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + row * 8), _mm_packs_epi32(low, high));
    }
}

// The magnitude category of a value and its bits as the standard appends them to a code.
struct CodedValue {
    explicit CodedValue(int value) {
        unsigned magnitude = static_cast<unsigned>(value < 0 ? -value : value);
        category = magnitude ? 32 - __builtin_clz(magnitude) : 0;
        bits = static_cast<std::uint32_t>(value < 0 ? value - 1 : value) & ((1u << category) - 1);
    }
    int category;
    std::uint32_t bits;
};

void WriteCoded(BitWriter& writer, HuffmanCodes const& codes, int runLength, int value) {
    CodedValue coded(value);
    int symbol = runLength << 4 | coded.category;
    writer.Write(static_cast<std::uint32_t>(codes.code[symbol]) << coded.category | coded.bits,
                 codes.length[symbol] + coded.category);
}

// One colour component's tables and running DC prediction.
struct Component {
    QuantTable const& quant;
    HuffmanCodes const& dc;
    HuffmanCodes const& ac;
    int previousDc;
};

void EncodeBlock(BitWriter& writer, float const* samples, std::size_t stride, Component& component) {
    alignas(16) std::int16_t quantised[64];
    Quantise(samples, stride, component.quant, quantised);
    static constexpr auto kOrder = [] {
        std::array<std::uint8_t, 64> order = {};
        for (int k = 0; k < 64; ++k) {
            order[k] = static_cast<std::uint8_t>(Transposed(kZigzag[k]));
        }
        return order;
    }();
    std::int16_t coefficients[64];
    std::uint64_t nonZero = 0;
    for (int k = 0; k < 64; ++k) {
        coefficients[k] = quantised[kOrder[k]];
        nonZero |= static_cast<std::uint64_t>(coefficients[k] != 0) << k;
    }
    WriteCoded(writer, component.dc, 0, coefficients[0] - component.previousDc);
    component.previousDc = coefficients[0];
    int last = 0;
    for (nonZero &= ~1ull; nonZero; nonZero &= nonZero - 1) {
        int k = __builtin_ctzll(nonZero);
        int run = k - last - 1;
        for (; run > 15; run -= 16) {
            writer.Write(component.ac.code[0xF0], component.ac.length[0xF0]);  // sixteen zeros
        }
        WriteCoded(writer, component.ac, run, coefficients[k]);
        last = k;
    }
    if (last < 63) {
        writer.Write(component.ac.code[0x00], component.ac.length[0x00]);  // end of block
    }
}

// Sixteen rows of the picture in YCbCr, level-shifted, chroma halved in both directions, edges
// repeated up to whole 16 x 16 units.
class Strip {
public:
    explicit Strip(int width)
        : mStride((static_cast<std::size_t>(width) + 15) / 16 * 16),
          mLuma(mStride * 16),
          mBlue(mStride / 2 * 8),
          mRed(mStride / 2 * 8) {}

    template <class Reader>
    void Load(unsigned char const* pixels, std::size_t bytesPerLine, int width, int height, int top) {
        for (int pair = 0; pair < 8; ++pair) {
            unsigned char const* upper = pixels + std::min(top + 2 * pair, height - 1) * bytesPerLine;
            unsigned char const* lower = pixels + std::min(top + 2 * pair + 1, height - 1) * bytesPerLine;
            float* luma = mLuma.data() + 2 * pair * mStride;
            std::size_t chroma = pair * (mStride / 2);
            int x = 0;
            for (; x + 1 < width; x += 2) {
                unsigned char const* a = upper + x * Reader::kBytes;
                unsigned char const* b = lower + x * Reader::kBytes;
                LoadQuad<Reader>(a, a + Reader::kBytes, b, b + Reader::kBytes, luma + x, chroma + x / 2);
            }
            for (; x < static_cast<int>(mStride); x += 2) {
                int left = std::min(x, width - 1) * Reader::kBytes;
                int right = std::min(x + 1, width - 1) * Reader::kBytes;
                LoadQuad<Reader>(upper + left, upper + right, lower + left, lower + right, luma + x,
                                 chroma + x / 2);
            }
        }
    }

    std::size_t LumaStride() const { return mStride; }
    std::size_t ChromaStride() const { return mStride / 2; }
    float const* Luma(int left, int top) const { return mLuma.data() + top * mStride + left; }
    float const* Blue(int left) const { return mBlue.data() + left / 2; }
    float const* Red(int left) const { return mRed.data() + left / 2; }

private:
    // Two pixels of an upper row and the two below them.
    template <class Reader>
    void LoadQuad(unsigned char const* a, unsigned char const* b, unsigned char const* c,
                  unsigned char const* d, float* luma, std::size_t chroma) {
        std::uint32_t const quad[4] = {Reader::Read(a), Reader::Read(b), Reader::Read(c), Reader::Read(d)};
        float blue = 0, green = 0, red = 0;
        for (int i = 0; i < 4; ++i) {
            float b = static_cast<float>(quad[i] & 0xFF);
            float g = static_cast<float>(quad[i] >> 8 & 0xFF);
            float r = static_cast<float>(quad[i] >> 16 & 0xFF);
            luma[i / 2 * mStride + i % 2] = 0.299f * r + 0.587f * g + 0.114f * b - 128.0f;
            blue += b;
            green += g;
            red += r;
        }
        mBlue[chroma] = (-0.168736f * red - 0.331264f * green + 0.5f * blue) * 0.25f;
        mRed[chroma] = (0.5f * red - 0.418688f * green - 0.081312f * blue) * 0.25f;
    }

    std::size_t mStride;
    std::vector<float> mLuma;
    std::vector<float> mBlue;
    std::vector<float> mRed;
};

void Put16(std::vector<unsigned char>& out, unsigned value) {
    out.push_back(static_cast<unsigned char>(value >> 8));
    out.push_back(static_cast<unsigned char>(value));
}

void PutMarker(std::vector<unsigned char>& out, unsigned char marker, unsigned length) {
    out.push_back(0xFF);
    out.push_back(marker);
    Put16(out, length);
}

void WriteHeaders(std::vector<unsigned char>& out, int width, int height, QuantTable const& luminance,
                  QuantTable const& chrominance) {
    static unsigned char const kStart[] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F',
                                           0,    1,    1,    0,    0, 1,  0,   1,   0,   0};
    out.insert(out.end(), std::begin(kStart), std::end(kStart));

    PutMarker(out, 0xDB, 2 + 2 * 65);
    for (QuantTable const* table : {&luminance, &chrominance}) {
        out.push_back(table == &luminance ? 0 : 1);
        for (int k = 0; k < 64; ++k) {
            out.push_back(table->value[kZigzag[k]]);
        }
    }

    PutMarker(out, 0xC0, 17);
    out.push_back(8);
    Put16(out, static_cast<unsigned>(height));
    Put16(out, static_cast<unsigned>(width));
    static unsigned char const kComponents[] = {3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1};
    out.insert(out.end(), std::begin(kComponents), std::end(kComponents));

    PutMarker(out, 0xC4, 2 + 4 * 17 + 2 * 12 + 2 * 162);
    for (HuffmanTable const* huffman : {&kDcLuminance, &kAcLuminance, &kDcChrominance, &kAcChrominance}) {
        out.push_back(huffman->tableClassAndId);
        out.insert(out.end(), huffman->bits, huffman->bits + 16);
        out.insert(out.end(), huffman->symbols, huffman->symbols + huffman->symbolCount);
    }

    PutMarker(out, 0xDA, 12);
    static unsigned char const kScan[] = {3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0};
    out.insert(out.end(), std::begin(kScan), std::end(kScan));
}

template <class Reader>
std::vector<unsigned char> EncodeRows(unsigned char const* pixels, std::size_t bytesPerLine, int width,
                                      int height, int quality) {
    QuantTable const luminanceQuant(kLuminanceQuant, quality);
    QuantTable const chrominanceQuant(kChrominanceQuant, quality);
    static HuffmanCodes const dcLuminance(kDcLuminance), acLuminance(kAcLuminance);
    static HuffmanCodes const dcChrominance(kDcChrominance), acChrominance(kAcChrominance);

    std::vector<unsigned char> out;
    out.reserve(static_cast<std::size_t>(width) * height / 4 + 1024);
    WriteHeaders(out, width, height, luminanceQuant, chrominanceQuant);

    BitWriter writer(out);
    Component y{luminanceQuant, dcLuminance, acLuminance, 0};
    Component cb{chrominanceQuant, dcChrominance, acChrominance, 0};
    Component cr{chrominanceQuant, dcChrominance, acChrominance, 0};
    Strip strip(width);
    for (int top = 0; top < height; top += 16) {
        strip.Load<Reader>(pixels, bytesPerLine, width, height, top);
        for (int left = 0; left < width; left += 16) {
            for (int block = 0; block < 4; ++block) {
                EncodeBlock(writer, strip.Luma(left + block % 2 * 8, block / 2 * 8), strip.LumaStride(), y);
            }
            EncodeBlock(writer, strip.Blue(left), strip.ChromaStride(), cb);
            EncodeBlock(writer, strip.Red(left), strip.ChromaStride(), cr);
        }
    }
    writer.Flush();
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

}  // namespace

std::vector<unsigned char> JpegEncoder::Encode(void const* pixels, int width, int height, int bitsPerPixel,
                                               std::size_t bytesPerLine, int quality) {
    auto const* rows = static_cast<unsigned char const*>(pixels);
    quality = std::clamp(quality, 1, 100);
    switch (bitsPerPixel) {
        case 8:
            return EncodeRows<PackedPixels::Rgb332>(rows, bytesPerLine, width, height, quality);
        case 16:
            return EncodeRows<PackedPixels::Rgb565>(rows, bytesPerLine, width, height, quality);
        case 24:
            return EncodeRows<PackedPixels::Bgr24>(rows, bytesPerLine, width, height, quality);
        default:
            return EncodeRows<PackedPixels::Bgra32>(rows, bytesPerLine, width, height, quality);
    }
}
