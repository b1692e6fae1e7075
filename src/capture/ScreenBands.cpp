#include "capture/ScreenBands.h"

#include <algorithm>

#include "capture/ScreenGrab.h"

ScreenBands::~ScreenBands() {
    FreeSection();
    if (mScreen) {
        DeleteDC(mScreen);
    }
}

void ScreenBands::StartPass(long top, int bandHeight, SIZE frame, unsigned long rasterOperation) {
    mTop = top;
    mBandHeight = std::max(bandHeight, 1);
    mFrame = frame;
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
        rect.left >= rect.right || rect.top >= rect.bottom) {
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
    for (int index = first; index < first + count; ++index) {
        mBands[index].held = false;
    }
    if (!mScreen || !MakeSection(mFrame) ||
        !BitBlt(mMemory, left, top, int(right - left), int(bottom - top), mScreen, left, top,
                mRasterOperation)) {
        return false;
    }
    GdiFlush();  // the section's pixels are complete only after this
    for (int index = first; index < first + count; ++index) {
        mBands[index] = Band{true, left, right};
    }
    return true;
}

// A top-down 32-bit section of `size`, kept while the frame keeps its size.
bool ScreenBands::MakeSection(SIZE size) {
    if (mSection && mSectionSize.cx == size.cx && mSectionSize.cy == size.cy) {
        return true;
    }
    FreeSection();
    BITMAPINFO info = ScreenGrab::TopDownInfo(size.cx, size.cy, 32);
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
    return mSectionBits + (std::size_t(y) * std::size_t(mSectionSize.cx) + std::size_t(x)) * 4;
}
