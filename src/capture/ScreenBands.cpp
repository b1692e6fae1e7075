#include "capture/ScreenBands.h"

#include <algorithm>

#include "capture/PixelFormat.h"

ScreenBands::~ScreenBands() {
    FreeSection();
    if (mScreen) {
        DeleteDC(mScreen);
    }
}

void ScreenBands::StartPass(long top, int bandHeight, SIZE frame, int bytesPerPixel,
                            unsigned long rasterOperation) {
    mTop = top;
    mBandHeight = std::max(bandHeight, 1);
    mFrame = frame;
    mBytesPerPixel = bytesPerPixel;
    mRasterOperation = rasterOperation;
    long rows = frame.cy > top ? frame.cy - top : 0;
    mBands.resize(std::size_t((rows + mBandHeight - 1) / mBandHeight));
    for (Band& band : mBands) {
        band.held = false;
    }
    if (!mScreen) {
        mScreen = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    }
}

bool ScreenBands::Cover(RECT const& rect, long spanLeft, long spanRight) {
    if (rect.left < 0 || rect.top < mTop || rect.right > mFrame.cx || rect.bottom > mFrame.cy ||
        rect.left >= rect.right || rect.top >= rect.bottom || !PixelFormat::IsSupported(mBytesPerPixel)) {
        return false;
    }
    int const last = int((rect.bottom - 1 - mTop) / mBandHeight);
    for (int index = int((rect.top - mTop) / mBandHeight); index <= last;) {
        if (BandHolds(mBands[index], rect)) {
            ++index;
            continue;
        }
        // A run of bands that lack the rectangle, grabbed at once as wide as all of them need.
        long left = std::min(spanLeft, rect.left);
        long right = std::max(spanRight, rect.right);
        int count = 0;
        for (; count < kBandsPerGrab && index + count <= last && !BandHolds(mBands[index + count], rect);
             ++count) {
            Band const& band = mBands[index + count];
            left = band.held ? std::min(left, band.left) : left;
            right = band.held ? std::max(right, band.right) : right;
        }
        if (!GrabBands(index, count, std::max(0L, left), std::min(long(mFrame.cx), right))) {
            return false;
        }
        index += count;
    }
    return true;
}

bool ScreenBands::GrabBands(int first, int count, long left, long right) {
    long top = mTop + long(first) * mBandHeight;
    long bottom = std::min(top + long(count) * mBandHeight, long(mFrame.cy));
    long width = right - left;
    for (int index = first; index < first + count; ++index) {
        mBands[index].held = false;
    }
    if (!mScreen || !MakeSection(SIZE{mFrame.cx, kBandsPerGrab * mBandHeight}) ||
        !BitBlt(mMemory, 0, 0, int(width), int(bottom - top), mScreen, left, top, mRasterOperation)) {
        return false;
    }
    GdiFlush();  // the section's pixels are complete only after this
    std::size_t rowBytes = std::size_t(width) * mBytesPerPixel;
    for (long y = top; y < bottom; ++y) {
        Band& band = mBands[std::size_t((y - mTop) / mBandHeight)];
        long bandTop = mTop + (y - mTop) / mBandHeight * mBandHeight;
        if (y == bandTop) {
            band.pixels.resize(rowBytes * std::size_t(std::min(long(mBandHeight), bottom - y)));
            band.left = left;
            band.right = right;
            band.held = true;
        }
        PixelFormat::ConvertRow32(mSectionBits + std::size_t(y - top) * mSectionSize.cx * 4,
                                  std::size_t(width), mBytesPerPixel,
                                  band.pixels.data() + rowBytes * std::size_t(y - bandTop));
    }
    return true;
}

// A top-down 32-bit section of `size`, kept while the frame keeps its width.
bool ScreenBands::MakeSection(SIZE size) {
    if (mSection && mSectionSize.cx == size.cx && mSectionSize.cy == size.cy) {
        return true;
    }
    FreeSection();
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = -size.cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    mMemory = CreateCompatibleDC(mScreen);
    mSection = mMemory ? CreateDIBSection(mMemory, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (!mSection) {
        FreeSection();
        return false;
    }
    mPrevious = SelectObject(mMemory, mSection);
    mSectionBits = static_cast<unsigned char*>(bits);
    mSectionSize = size;
    return true;
}

void ScreenBands::FreeSection() {
    if (mMemory && mPrevious) {
        SelectObject(mMemory, mPrevious);
    }
    if (mSection) {
        DeleteObject(mSection);
    }
    if (mMemory) {
        DeleteDC(mMemory);
    }
    mMemory = nullptr;
    mSection = nullptr;
    mPrevious = nullptr;
    mSectionBits = nullptr;
    mSectionSize = SIZE{0, 0};
}

bool ScreenBands::BandHolds(Band const& band, RECT const& rect) {
    return band.held && band.left <= rect.left && band.right >= rect.right;
}

bool ScreenBands::Holds(RECT const& rect) const {
    if (rect.top < mTop || rect.left >= rect.right || rect.top >= rect.bottom) {
        return false;
    }
    std::size_t first = std::size_t((rect.top - mTop) / mBandHeight);
    std::size_t last = std::size_t((rect.bottom - 1 - mTop) / mBandHeight);
    for (std::size_t index = first; index <= last; ++index) {
        if (index >= mBands.size() || !BandHolds(mBands[index], rect)) {
            return false;
        }
    }
    return true;
}

unsigned char const* ScreenBands::PixelAt(long x, long y) const {
    Band const& band = mBands[std::size_t((y - mTop) / mBandHeight)];
    long top = mTop + (y - mTop) / mBandHeight * mBandHeight;
    std::size_t width = std::size_t(band.right - band.left);
    return band.pixels.data() + (std::size_t(y - top) * width + std::size_t(x - band.left)) * mBytesPerPixel;
}
