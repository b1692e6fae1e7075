#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "viewer/RemoteScreenSurface.h"
#include "imaging/Picture.h"

// Pixel (x, y) of a snapshot.
inline COLORREF PixelAt(Picture const& picture, int x, int y) {
    std::uint32_t value = picture.GetPixels()[std::size_t(y) * picture.GetWidth() + x];
    return RGB(value >> 16 & 0xFF, value >> 8 & 0xFF, value & 0xFF);
}

inline std::string DescribeColour(COLORREF colour) {
    return "(" + std::to_string(GetRValue(colour)) + "," + std::to_string(GetGValue(colour)) + "," +
           std::to_string(GetBValue(colour)) + ")";
}

// Paints the whole surface in one colour.
inline void FillSurface(RemoteScreenSurface& surface, COLORREF colour) {
    RemoteScreenSurface::Reader reader(surface);
    RECT const all = {0, 0, reader.GetSize().cx, reader.GetSize().cy};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(reader.GetDC(), &all, brush);
    DeleteObject(brush);
}

// A region made of rectangles, for comparing with EqualRgn; owned by the caller.
inline HRGN RegionOf(std::vector<RECT> const& rects) {
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    for (RECT const& rect : rects) {
        HRGN piece = CreateRectRgnIndirect(&rect);
        CombineRgn(region, region, piece, RGN_OR);
        DeleteObject(piece);
    }
    return region;
}
