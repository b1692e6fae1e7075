#pragma once

#include "CorvaneApi.h"

struct tagSIZE;

// A width and a height in pixels, as the settings and the negotiation carry them. It has the
// fields of the system's SIZE and converts to and from it, so that the settings need not
// include <windows.h>; the conversions are for code that includes it anyway.
struct CORVANE_API ScreenSize {
    long cx = 0;
    long cy = 0;

    constexpr ScreenSize() = default;
    constexpr ScreenSize(long width, long height) : cx(width), cy(height) {}
    ScreenSize(tagSIZE const& size);
    operator tagSIZE() const;

    bool operator==(ScreenSize const& other) const { return cx == other.cx && cy == other.cy; }
    bool operator!=(ScreenSize const& other) const { return !(*this == other); }
};
