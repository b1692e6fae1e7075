#pragma once

#include <windows.h>

// Copies a rectangle of a device context into a packed buffer in one of the change packet's
// pixel formats, through a top-down 24-bit DIB. Any thread; every GDI object it makes is
// released on every path.
class ScreenGrab {
public:
    // `rect` may be given with its edges swapped. `out` holds width x height x bytesPerPixel
    // bytes. False when a GDI call or the scratch allocation fails, or the depth is not one
    // of the packet's (the buffer would go out unwritten). `source` is not released.
    static bool Grab(HDC source, RECT const& rect, unsigned char* out, unsigned long rasterOperation,
                     int bytesPerPixel);
    // The header of an uncompressed top-down DIB.
    static BITMAPINFO TopDownInfo(long width, long height, int bitsPerPixel);
};
