#include "capture/PixelFormat.h"

#include <cstdint>
#include <cstring>

unsigned char PixelFormat::SafeAdd(unsigned char a, unsigned char b) {
    unsigned sum = unsigned(a) + b;
    return sum > 255 ? 255 : static_cast<unsigned char>(sum);
}

namespace {

// Four 32-bit pixels as three 32-bit words of packed blue, green, red.
void PackFour(unsigned char const* bgrx, std::uint32_t (&words)[3]) {
    std::uint32_t p[4];
    std::memcpy(p, bgrx, sizeof(p));
    words[0] = (p[0] & 0xFFFFFF) | p[1] << 24;
    words[1] = ((p[1] >> 8) & 0xFFFF) | p[2] << 16;
    words[2] = ((p[2] >> 16) & 0xFF) | p[3] << 8;
}

void PackBgrx(unsigned char const* bgrx, std::size_t count, unsigned char* out) {
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4, bgrx += 16, out += 12) {
        std::uint32_t words[3];
        PackFour(bgrx, words);
        std::memcpy(out, words, sizeof(words));
    }
    for (; i < count; ++i, bgrx += 4, out += 3) {
        out[0] = bgrx[0];
        out[1] = bgrx[1];
        out[2] = bgrx[2];
    }
}

template <std::size_t kSourceBytes>
void Convert(unsigned char const* bgr, std::size_t count, int bytesPerPixel, unsigned char* out) {
    using PF = PixelFormat;
    switch (bytesPerPixel) {
        case 1:
            for (std::size_t i = 0; i < count; ++i, bgr += kSourceBytes) {
                unsigned red = PF::SafeAdd(bgr[2], 15) & 0xE0;
                unsigned green = (PF::SafeAdd(bgr[1], 15) >> 3) & 0x1C;
                unsigned blue = PF::SafeAdd(bgr[0], 15) >> 6;
                out[i] = static_cast<unsigned char>(red | green | blue);
            }
            break;
        case 2:
            for (std::size_t i = 0; i < count; ++i, bgr += kSourceBytes) {
                unsigned red = (PF::SafeAdd(bgr[2], 3) & 0xF8) << 8;
                unsigned green = (PF::SafeAdd(bgr[1], 1) & 0xFC) << 3;
                unsigned blue = PF::SafeAdd(bgr[0], 3) >> 3;
                unsigned value = red | green | blue;
                out[2 * i] = static_cast<unsigned char>(value);
                out[2 * i + 1] = static_cast<unsigned char>(value >> 8);
            }
            break;
        case 3:
            if (kSourceBytes == 3) {
                std::memcpy(out, bgr, count * 3);
                break;
            }
            PackBgrx(bgr, count, out);
            break;
        default:
            break;
    }
}

bool EqualsBgrx(unsigned char const* bgrx, std::size_t count, unsigned char const* pixels) {
    std::size_t i = 0;
    std::uint32_t difference = 0;
    for (; i + 4 <= count; i += 4, bgrx += 16, pixels += 12) {
        std::uint32_t words[3];
        std::uint32_t stored[3];
        PackFour(bgrx, words);
        std::memcpy(stored, pixels, sizeof(stored));
        difference |= (words[0] ^ stored[0]) | (words[1] ^ stored[1]) | (words[2] ^ stored[2]);
    }
    if (difference) {
        return false;
    }
    for (; i < count; ++i, bgrx += 4, pixels += 3) {
        if (std::memcmp(pixels, bgrx, 3) != 0) {
            return false;
        }
    }
    return true;
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
