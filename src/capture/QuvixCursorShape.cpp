#include "capture/QuvixCursorShape.h"

#include <cstring>

namespace {

constexpr std::size_t kHeaderBytes = 16;

std::size_t MaskRowBytes(std::uint32_t width) {
    return (std::size_t(width) + 15) / 16 * 2;
}

}  // namespace

std::size_t CQuvixCursorShape::ValidSize(void const* data, std::size_t available) {
    if (!data || available < kHeaderBytes) {
        return 0;
    }
    std::uint32_t header[2];
    std::memcpy(header, data, sizeof(header));
    std::uint32_t width = header[0];
    std::uint32_t height = header[1];
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
        return 0;
    }
    std::size_t size = kHeaderBytes + MaskRowBytes(width) * height + std::size_t(width) * height * 4;
    return size <= available ? size : 0;
}

unsigned char const* CQuvixCursorShape::MaskBits() const {
    return reinterpret_cast<unsigned char const*>(this) + kHeaderBytes;
}

unsigned char const* CQuvixCursorShape::ColourBits() const {
    return MaskBits() + MaskRowBytes(mWidth) * mHeight;
}

HICON CQuvixCursorShape::CreateIcon() const {
    ICONINFO info = {};
    info.fIcon = FALSE;
    info.xHotspot = mHotSpotX < mWidth ? mHotSpotX : 0;
    info.yHotspot = mHotSpotY < mHeight ? mHotSpotY : 0;
    info.hbmMask = CreateBitmap(int(mWidth), int(mHeight), 1, 1, MaskBits());
    info.hbmColor = CreateBitmap(int(mWidth), int(mHeight), 1, 32, ColourBits());
    HICON icon = info.hbmMask && info.hbmColor ? CreateIconIndirect(&info) : nullptr;
    if (info.hbmMask) {
        DeleteObject(info.hbmMask);
    }
    if (info.hbmColor) {
        DeleteObject(info.hbmColor);
    }
    return icon;
}
