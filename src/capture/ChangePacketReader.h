#pragma once

#include <windows.h>

#include <cstdint>

// One complete rectangle of a change packet.
struct ChangePacketRecord {
    RECT rect;                    // right and bottom exclusive, never reversed
    unsigned char const* pixels;  // (right - left) x (bottom - top) pixels, rows top-down, unpadded
};

// Writes a rectangle's header, left, top, right, bottom as u16, at `at` (8 bytes).
void WriteChangeRect(unsigned char* at, RECT const& rect);

// Walks the rectangles of a change packet: a u32 count, then per rectangle left, top, right,
// bottom as u16 and its pixels. The packet may come from the peer, so the walk ends at the
// count, at a rectangle whose header or pixels would run past the packet, and at one whose
// edges are reversed; sizes are worked out in 64 bits. The packet must outlive the reader.
// Used by one thread at a time.
class ChangePacketReader {
public:
    // `packet` may be null (no rectangles) when `size` is 0.
    ChangePacketReader(void const* packet, std::uint64_t size, int bytesPerPixel);

    // The next complete rectangle; false when the walk has ended.
    bool Next(ChangePacketRecord& record);
    // True when the walk ended before the count at a record that was cut off or reversed.
    bool IsMalformed() const { return mMalformed; }

private:
    bool Stop();

    unsigned char const* mNext;
    std::uint64_t mRemaining;
    std::uint32_t mCount;
    std::uint64_t mBytesPerPixel;
    bool mMalformed;
};
