#pragma once

#include <windows.h>

#include <vector>

// Rows of grid cells (bands, 32 pixel rows each) grabbed from the screen at most once per
// pass, so that the cells of a row are compared in memory: one screen round trip for up to
// kBandsPerGrab bands instead of one per cell. A band is grabbed as wide as the caller asks
// and grabbed again, wider, when a later request reaches past it. The pixels stay as the X
// server delivers them, 32 bits each, in a frame-sized DIB section kept between passes; they
// are converted to the frame's format only where a change is handed out. Belongs to the
// tracker thread.
class ScreenBands {
public:
    // Grabs of a few bands at once cost least per pixel under Wine on X (about a third less
    // than single bands, half of a whole screen).
    static constexpr int kBandsPerGrab = 4;

    ScreenBands() = default;
    ~ScreenBands();
    ScreenBands(ScreenBands const&) = delete;
    ScreenBands& operator=(ScreenBands const&) = delete;

    // Forgets every band. Bands start at pixel row `top`, are `bandHeight` rows high and end
    // inside `frame`; grabs use `rasterOperation`.
    void StartPass(long top, int bandHeight, SIZE frame, unsigned long rasterOperation);
    // Makes the pixels of `rect` available, grabbing the bands it crosses that do not hold
    // them yet, from `spanLeft` to `spanRight` (widened to the rectangle's columns). False when
    // `rect` is not inside the frame or a grab fails.
    bool Cover(RECT const& rect, long spanLeft, long spanRight);
    // True when every band `rect` crosses holds its columns already.
    bool Holds(RECT const& rect) const;
    // Pixel (x, y) of a covered rectangle: blue, green, red, unused; the row's following
    // pixels come next.
    unsigned char const* PixelAt(long x, long y) const;

private:
    struct Band {
        bool held = false;
        long left = 0;
        long right = 0;
    };

    static bool BandHolds(Band const& band, RECT const& rect);
    bool GrabBands(int first, int count, long left, long right);
    bool MakeSection(SIZE size);
    void FreeSection();

    std::vector<Band> mBands;
    long mTop = 0;
    int mBandHeight = 1;
    SIZE mFrame = {0, 0};
    unsigned long mRasterOperation = SRCCOPY;
    // Owned: a display context of our own, since a fresh one per pass costs as much as
    // several band grabs.
    HDC mScreen = nullptr;
    HDC mMemory = nullptr;       // owned, with mSection selected
    HBITMAP mSection = nullptr;  // owned
    HGDIOBJ mPrevious = nullptr;
    unsigned char* mSectionBits = nullptr;  // the section's pixels
    SIZE mSectionSize = {0, 0};
};
