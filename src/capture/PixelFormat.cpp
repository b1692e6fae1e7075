#include "capture/PixelFormat.h"

#include <tmmintrin.h>

#include <array>
#include <cstdint>
#include <cstring>

unsigned char PixelFormat::SafeAdd(unsigned char a, unsigned char b) {
    unsigned sum = unsigned(a) + b;
    return sum > 255 ? 255 : static_cast<unsigned char>(sum);
}

namespace {

constexpr unsigned Biased(unsigned value, unsigned by) {
    return value + by > 255 ? 255 : value + by;
}

// Each component's share of a 3-3-2 byte and of a 5-6-5 word, by its 8-bit value.
struct Tables {
    std::array<std::uint8_t, 256> red8{}, green8{}, blue8{};
    std::array<std::uint16_t, 256> red16{}, green16{}, blue16{};
};

constexpr Tables MakeTables() {
    Tables tables;
    for (unsigned v = 0; v < 256; ++v) {
        tables.red8[v] = std::uint8_t(Biased(v, 15) & 0xE0);
        tables.green8[v] = std::uint8_t((Biased(v, 15) >> 3) & 0x1C);
        tables.blue8[v] = std::uint8_t(Biased(v, 15) >> 6);
        tables.red16[v] = std::uint16_t((Biased(v, 3) & 0xF8) << 8);
        tables.green16[v] = std::uint16_t((Biased(v, 1) & 0xFC) << 3);
        tables.blue16[v] = std::uint16_t(Biased(v, 3) >> 3);
    }
    return tables;
}

constexpr Tables kTables = MakeTables();

// The SSSE3 forms take four pixels at a time and touch 16 bytes of the packed side, so they
// stop while fewer than six pixels are left; the plain loops finish.
constexpr std::size_t kVectorTail = 6;

bool HasSsse3() {
    static bool const has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    return has;
}

__attribute__((target("ssse3"))) __m128i PackFour(unsigned char const* bgrx) {
    __m128i const order = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<__m128i const*>(bgrx)), order);
}

__attribute__((target("ssse3"))) std::size_t PackVector(unsigned char const* bgrx, std::size_t count,
                                                        unsigned char* out) {
    std::size_t i = 0;
    for (; i + kVectorTail <= count; i += 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * i), PackFour(bgrx + 4 * i));
    }
    return i;
}

// The first pixel that differs, or where the vector form stopped.
__attribute__((target("ssse3"))) std::size_t EqualVector(unsigned char const* bgrx, std::size_t count,
                                                         unsigned char const* pixels, bool& differs) {
    std::size_t i = 0;
    for (; i + kVectorTail <= count; i += 4) {
        __m128i stored = _mm_loadu_si128(reinterpret_cast<__m128i const*>(pixels + 3 * i));
        int equal = _mm_movemask_epi8(_mm_cmpeq_epi8(PackFour(bgrx + 4 * i), stored));
        if ((equal & 0x0FFF) != 0x0FFF) {
            differs = true;
            return i;
        }
    }
    return i;
}

void PackBgrx(unsigned char const* bgrx, std::size_t count, unsigned char* out) {
    std::size_t i = HasSsse3() ? PackVector(bgrx, count, out) : 0;
    for (; i < count; ++i) {
        std::memcpy(out + 3 * i, bgrx + 4 * i, 3);
    }
}

bool EqualsBgrx(unsigned char const* bgrx, std::size_t count, unsigned char const* pixels) {
    bool differs = false;
    std::size_t i = HasSsse3() ? EqualVector(bgrx, count, pixels, differs) : 0;
    for (; i < count && !differs; ++i) {
        differs = std::memcmp(pixels + 3 * i, bgrx + 4 * i, 3) != 0;
    }
    return !differs;
}

// 3-3-2 or 5-6-5 from four 32-bit pixels at a time: bias with saturation, then shift each
// component into place within its 32-bit lane and gather the low byte or word of each lane.
__attribute__((target("ssse3"))) std::size_t ConvertLowVector(unsigned char const* bgrx, std::size_t count,
                                                              int bytesPerPixel, unsigned char* out) {
    bool const small = bytesPerPixel == 1;
    __m128i const bias = small ? _mm_set1_epi32(0x000F0F0F) : _mm_set1_epi32(0x00030103);
    __m128i const order = small ? _mm_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1)
                                : _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1);
    auto part = [](__m128i p, int shift, int mask) {
        return _mm_and_si128(_mm_srli_epi32(p, shift), _mm_set1_epi32(mask));
    };
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        __m128i p = _mm_adds_epu8(_mm_loadu_si128(reinterpret_cast<__m128i const*>(bgrx + 4 * i)), bias);
        __m128i value =
            small ? _mm_or_si128(_mm_or_si128(part(p, 16, 0xE0), part(p, 11, 0x1C)), part(p, 6, 0x03))
                  : _mm_or_si128(_mm_or_si128(part(p, 8, 0xF800), part(p, 5, 0x07E0)), part(p, 3, 0x1F));
        value = _mm_shuffle_epi8(value, order);
        if (small) {
            int bytes = _mm_cvtsi128_si32(value);
            std::memcpy(out + i, &bytes, 4);
        } else {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 2 * i), value);
        }
    }
    return i;
}

template <std::size_t kSourceBytes>
void Convert(unsigned char const* bgr, std::size_t count, int bytesPerPixel, unsigned char* out) {
    std::size_t i = 0;
    if (kSourceBytes == 4 && (bytesPerPixel == 1 || bytesPerPixel == 2) && HasSsse3()) {
        i = ConvertLowVector(bgr, count, bytesPerPixel, out);
    }
    switch (bytesPerPixel) {
        case 1:
            for (; i < count; ++i) {
                unsigned char const* pixel = bgr + kSourceBytes * i;
                out[i] = kTables.red8[pixel[2]] | kTables.green8[pixel[1]] | kTables.blue8[pixel[0]];
            }
            break;
        case 2:
            for (; i < count; ++i) {
                unsigned char const* pixel = bgr + kSourceBytes * i;
                // Little-endian, as the packet wants it.
                std::uint16_t value =
                    kTables.red16[pixel[2]] | kTables.green16[pixel[1]] | kTables.blue16[pixel[0]];
                std::memcpy(out + 2 * i, &value, 2);
            }
            break;
        case 3:
            if (kSourceBytes == 3) {
                std::memcpy(out, bgr, count * 3);
            } else {
                PackBgrx(bgr, count, out);
            }
            break;
        default:
            break;
    }
}

}  // namespace

bool PixelFormat::EqualsRow32(unsigned char const* bgrx, std::size_t count, int bytesPerPixel,
                              unsigned char const* pixels) {
    if (bytesPerPixel == 3) {
        return EqualsBgrx(bgrx, count, pixels);
    }
    // The other depths through a small converted piece at a time.
    constexpr std::size_t kPiece = 64;
    unsigned char piece[kPiece * 2];
    for (std::size_t done = 0; done < count; done += kPiece) {
        std::size_t n = count - done < kPiece ? count - done : kPiece;
        ConvertRow32(bgrx + done * 4, n, bytesPerPixel, piece);
        if (std::memcmp(piece, pixels + done * bytesPerPixel, n * bytesPerPixel) != 0) {
            return false;
        }
    }
    return true;
}

void PixelFormat::ConvertRow(unsigned char const* bgr, std::size_t count, int bytesPerPixel,
                             unsigned char* out) {
    Convert<3>(bgr, count, bytesPerPixel, out);
}

void PixelFormat::ConvertRow32(unsigned char const* bgrx, std::size_t count, int bytesPerPixel,
                               unsigned char* out) {
    Convert<4>(bgrx, count, bytesPerPixel, out);
}
