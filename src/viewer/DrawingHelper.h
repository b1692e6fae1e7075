#pragma once

#include <windows.h>

#include <vector>

// Paints received change packets (u32 count, then per rectangle left, top, right, bottom as
// u16 and its pixels at 1, 2 or 3 bytes per pixel) into device contexts, invalidates the
// matching window areas, and maps rectangles between the remote screen's size and the size
// shown. Packets come from the peer: a walk ends at a reversed rectangle or at one whose
// header or pixels would run past the packet, and every rectangle is clipped to what the
// context can hold. Static only; any thread, one context used by one thread at a time.
class DrawingHelper {
public:
    // Paints `rect` from `pixels`, of which `available` bytes may be read. Nothing happens for
    // a null context or pixels, a depth other than 1 to 3, a reversed rectangle, fewer than
    // width x height x `bytesPerPixel` bytes, or a rectangle outside the context's area.
    static void DrawSingleRectangle(HDC dc, RECT* rect, void* pixels, unsigned long available,
                                    int bytesPerPixel);
    // Paints every complete rectangle of the packet in order. With `wantRegion` the result is
    // the union of the painted areas (clipped to the context; empty when nothing was painted),
    // owned by the caller; otherwise null. Time grows as n log n with the rectangles.
    static HRGN DrawRectangle(HDC dc, void const* packet, unsigned long size, int bytesPerPixel,
                              bool wantRegion);
    // Invalidates (erasing the background) each complete rectangle of the packet shifted by
    // (x, y) in `window`, then updates it. Called on the window's thread.
    static void DrawRectangleToWindow(HWND window, long x, long y, void* packet, unsigned long size,
                                      int bytesPerPixel);

    // Widens `rect` to whole blocks: left and top down, right and bottom up, to multiples of
    // the block size. A block side of 0 or less leaves that axis as it is.
    static void DockRect(RECT& rect, int blockWidth, int blockHeight);
    // `target` = `source` with its x edges times target width / source width and its y edges
    // likewise (multiplication first, truncating). A source side of 0 or less gives an empty target.
    static void ScaleRect(RECT const& source, RECT& target, SIZE sourceSize, SIZE targetSize);
    // Multiplies the x edges by `scaleX` and the y edges by `scaleY`, truncating.
    static void ScaleRect(RECT& rect, float scaleX, float scaleY);
    // Docks `source` to the blocks of the two sizes' common grid, then scales it into
    // `target`: block edges map to whole target pixels, so stretched rectangles join without gaps.
    static void DockAndScaleRect(RECT& source, RECT& target, SIZE sourceSize, SIZE targetSize);
    // A copy of `region` scaled by (scaleX, scaleY), then moved by (dx, dy); owned by the
    // caller. Null on failure.
    static HRGN CreateStretchRgn(HRGN region, float scaleX, float scaleY, int dx, int dy);
    // Writes the bitmap selected into `dc` as a BMP file, replacing one at `path`. 1 when the
    // file was written, 0 when the bitmap cannot be read or the file written.
    static int SaveHdc2Bitmap(HDC dc, wchar_t const* path);

private:
    static bool DrawableArea(HDC dc, RECT& area);
    static void Paint(HDC dc, RECT const& rect, RECT const& clip, unsigned char const* pixels,
                      int bytesPerPixel);
};

// Collects rectangles and makes their union in one step. A region grown by one union per
// rectangle costs time quadratic in their number (so does one ExtCreateRegion of them all on
// some systems); here each rectangle takes part in about log n unions of regions of like size.
// Used by one thread at a time.
class ChangedRegion {
public:
    // Adds `rect`; an empty or reversed one adds nothing.
    void Add(RECT const& rect);
    // The union of the rectangles added so far (an empty region when there are none), owned by
    // the caller (DeleteObject); null when GDI cannot make it.
    HRGN Make() const;

private:
    std::vector<RECT> mRects;
};
