#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// The cursor shape the mirror driver hands over: a header, then the AND mask (1 bit per
// pixel, rows padded to 16 bits) and the colour image (32 bits per pixel), both top-down.
// Read from the driver's memory, so its header is checked (ValidSize) before it is used.
class CQuvixCursorShape {
public:
    // The largest side the library accepts.
    static constexpr std::uint32_t kMaxSide = 256;

    // The shape's whole size when `data` holds a shape whose sides are 1..kMaxSide and whose
    // pixels lie within `available` bytes; 0 otherwise.
    static std::size_t ValidSize(void const* data, std::size_t available);

    std::uint32_t GetWidth() const { return mWidth; }
    std::uint32_t GetHeight() const { return mHeight; }
    POINT GetHotSpot() const { return POINT{LONG(mHotSpotX), LONG(mHotSpotY)}; }
    // A new cursor of this shape (destroy it with DestroyIcon); null when the system refuses.
    // Only on a shape that passed ValidSize.
    HICON CreateIcon() const;

private:
    CQuvixCursorShape() = default;

    unsigned char const* MaskBits() const;
    unsigned char const* ColourBits() const;

    std::uint32_t mWidth;
    std::uint32_t mHeight;
    std::uint32_t mHotSpotX;
    std::uint32_t mHotSpotY;
    // The AND mask and the colour image follow.
};
