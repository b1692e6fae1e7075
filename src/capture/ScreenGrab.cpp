#include "capture/ScreenGrab.h"

#include <cstdint>
#include <cstdlib>

#include "capture/PixelFormat.h"

namespace {

// Reads the bitmap back as a top-down 24-bit DIB (rows padded to 4 bytes) and converts it.
bool ReadBack(HDC memory, HBITMAP bitmap, long width, long height, unsigned char* out, int bytesPerPixel) {
    std::size_t stride = (std::size_t(width) * 3 + 3) & ~std::size_t(3);
    auto* scratch = static_cast<unsigned char*>(std::malloc(stride * std::size_t(height)));
    if (!scratch) {
        return false;
    }
    BITMAPINFO info = ScreenGrab::TopDownInfo(width, height, 24);
    int lines = GetDIBits(memory, bitmap, 0, UINT(height), scratch, &info, DIB_RGB_COLORS);
    bool read = lines == height;
    if (read) {
        std::size_t outRow = std::size_t(width) * std::size_t(bytesPerPixel);
        for (long y = 0; y < height; ++y) {
            PixelFormat::ConvertRow(scratch + stride * y, std::size_t(width), bytesPerPixel,
                                    out + outRow * y);
        }
    }
    std::free(scratch);
    return read;
}

}  // namespace

BITMAPINFO ScreenGrab::TopDownInfo(long width, long height, int bitsPerPixel) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = WORD(bitsPerPixel);
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

bool ScreenGrab::Grab(HDC source, RECT const& rect, unsigned char* out, unsigned long rasterOperation,
                      int bytesPerPixel) {
    long width = std::labs(rect.right - rect.left);
    long height = std::labs(rect.bottom - rect.top);
    if (!source || !out || !PixelFormat::IsSupported(bytesPerPixel)) {
        return false;
    }
    if (width == 0 || height == 0) {
        return true;
    }
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = memory ? CreateCompatibleBitmap(source, int(width), int(height)) : nullptr;
    bool grabbed = false;
    if (bitmap) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        bool copied =
            BitBlt(memory, 0, 0, int(width), int(height), source, rect.left, rect.top, rasterOperation);
        SelectObject(memory, previous);
        grabbed = copied && ReadBack(memory, bitmap, width, height, out, bytesPerPixel);
        DeleteObject(bitmap);
    }
    if (memory) {
        DeleteDC(memory);
    }
    return grabbed;
}
