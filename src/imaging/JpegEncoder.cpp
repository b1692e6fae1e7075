#include "imaging/JpegEncoder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

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

// The quantisation table of a quality, in natural order, as libjpeg scales it.
struct QuantTable {
    QuantTable(std::uint8_t const* base, int quality) : value(), divisor() {
        int scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
        for (int i = 0; i < 64; ++i) {
            value[i] = static_cast<std::uint8_t>(std::clamp((base[i] * scale + 50) / 100, 1, 255));
            // Folds the DCT's output scale into the division.
            divisor[i] = 1.0f / (value[i] * kDctScale[i / 8] * kDctScale[i % 8] * 8.0f);
        }
    }
    std::uint8_t value[64];
    float divisor[64];
};

// Entropy-coded bits with the 0xFF byte stuffing of the scan data.
class BitWriter {
public:
    explicit BitWriter(std::vector<unsigned char>& out) : mOut(out), mBits(0), mCount(0) {}

    void Write(std::uint32_t bits, int count) {
        mBits = (mBits << count) | (bits & ((1u << count) - 1));
        mCount += count;
        while (mCount >= 8) {
            mCount -= 8;
            auto byte = static_cast<unsigned char>(mBits >> mCount);
            mOut.push_back(byte);
            if (byte == 0xFF) {
                mOut.push_back(0);
            }
        }
        mBits &= (1u << mCount) - 1;
    }
    // Pads the last byte with one bits.
    void Flush() {
        if (mCount > 0) {
            Write(0x7F, 8 - mCount);
        }
    }

private:
    std::vector<unsigned char>& mOut;
    std::uint32_t mBits;
    int mCount;
};

// Arai-Agui-Nakajima forward DCT of eight values `stride` apart, in place.
void Dct8(float* d, int stride) {
    float tmp0 = d[0] + d[7 * stride], tmp7 = d[0] - d[7 * stride];
    float tmp1 = d[stride] + d[6 * stride], tmp6 = d[stride] - d[6 * stride];
    float tmp2 = d[2 * stride] + d[5 * stride], tmp5 = d[2 * stride] - d[5 * stride];
    float tmp3 = d[3 * stride] + d[4 * stride], tmp4 = d[3 * stride] - d[4 * stride];

    float tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3;
    float tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;
    d[0] = tmp10 + tmp11;
    d[4 * stride] = tmp10 - tmp11;
    float z1 = (tmp12 + tmp13) * 0.707106781f;
    d[2 * stride] = tmp13 + z1;
    d[6 * stride] = tmp13 - z1;

    tmp10 = tmp4 + tmp5;
    tmp11 = tmp5 + tmp6;
    tmp12 = tmp6 + tmp7;
    float z5 = (tmp10 - tmp12) * 0.382683433f;
    float z2 = 0.541196100f * tmp10 + z5;
    float z4 = 1.306562965f * tmp12 + z5;
    float z3 = tmp11 * 0.707106781f;
    float z11 = tmp7 + z3, z13 = tmp7 - z3;
    d[5 * stride] = z13 + z2;
    d[3 * stride] = z13 - z2;
    d[stride] = z11 + z4;
    d[7 * stride] = z11 - z4;
}

// A value's magnitude category and its bits as the standard codes them.
int Category(int value) {
    int magnitude = value < 0 ? -value : value;
    int bits = 0;
    for (; magnitude; magnitude >>= 1) {
        ++bits;
    }
    return bits;
}

void WriteValue(BitWriter& writer, HuffmanCodes const& codes, int symbolHigh, int value) {
    int category = Category(value);
    int symbol = symbolHigh << 4 | category;
    writer.Write(codes.code[symbol], codes.length[symbol]);
    if (category) {
        writer.Write(static_cast<std::uint32_t>(value < 0 ? value - 1 : value), category);
    }
}

// One colour component's tables and running DC prediction.
struct Component {
    QuantTable const& quant;
    HuffmanCodes const& dc;
    HuffmanCodes const& ac;
    int previousDc;
};

void EncodeBlock(BitWriter& writer, float* block, Component& component) {
    for (int i = 0; i < 8; ++i) {
        Dct8(block + i * 8, 1);
    }
    for (int i = 0; i < 8; ++i) {
        Dct8(block + i, 8);
    }
    int quantised[64];
    for (int k = 0; k < 64; ++k) {
        int i = kZigzag[k];
        quantised[k] = static_cast<int>(std::lround(block[i] * component.quant.divisor[i]));
    }
    WriteValue(writer, component.dc, 0, quantised[0] - component.previousDc);
    component.previousDc = quantised[0];
    int run = 0;
    for (int k = 1; k < 64; ++k) {
        if (quantised[k] == 0) {
            ++run;
            continue;
        }
        for (; run > 15; run -= 16) {
            writer.Write(component.ac.code[0xF0], component.ac.length[0xF0]);  // sixteen zeros
        }
        WriteValue(writer, component.ac, run, quantised[k]);
        run = 0;
    }
    if (run > 0) {
        writer.Write(component.ac.code[0x00], component.ac.length[0x00]);  // end of block
    }
}

// One 16 x 16 unit of the picture in YCbCr, level-shifted, edges repeated past the border.
struct Macroblock {
    float y[4][64];
    float cb[64];
    float cr[64];
};

void LoadMacroblock(std::uint32_t const* pixels, int width, int height, int left, int top, Macroblock& mb) {
    float cb[16][16];
    float cr[16][16];
    for (int row = 0; row < 16; ++row) {
        std::uint32_t const* line =
            pixels + static_cast<std::size_t>(std::min(top + row, height - 1)) * width;
        for (int column = 0; column < 16; ++column) {
            std::uint32_t pixel = line[std::min(left + column, width - 1)];
            float b = static_cast<float>(pixel & 0xFF);
            float g = static_cast<float>(pixel >> 8 & 0xFF);
            float r = static_cast<float>(pixel >> 16 & 0xFF);
            mb.y[(row / 8) * 2 + column / 8][(row % 8) * 8 + column % 8] =
                0.299f * r + 0.587f * g + 0.114f * b - 128.0f;
            cb[row][column] = -0.168736f * r - 0.331264f * g + 0.5f * b;
            cr[row][column] = 0.5f * r - 0.418688f * g - 0.081312f * b;
        }
    }
    for (int row = 0; row < 8; ++row) {
        for (int column = 0; column < 8; ++column) {
            int r = row * 2, c = column * 2;
            mb.cb[row * 8 + column] = (cb[r][c] + cb[r][c + 1] + cb[r + 1][c] + cb[r + 1][c + 1]) * 0.25f;
            mb.cr[row * 8 + column] = (cr[r][c] + cr[r][c + 1] + cr[r + 1][c] + cr[r + 1][c + 1]) * 0.25f;
        }
    }
}

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

}  // namespace

std::vector<unsigned char> JpegEncoder::Encode(std::uint32_t const* pixels, int width, int height,
                                               int quality) {
    quality = std::clamp(quality, 1, 100);
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
    Macroblock mb;
    for (int top = 0; top < height; top += 16) {
        for (int left = 0; left < width; left += 16) {
            LoadMacroblock(pixels, width, height, left, top, mb);
            for (auto& block : mb.y) {
                EncodeBlock(writer, block, y);
            }
            EncodeBlock(writer, mb.cb, cb);
            EncodeBlock(writer, mb.cr, cr);
        }
    }
    writer.Flush();
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}
