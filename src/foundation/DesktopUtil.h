#pragma once

#include <windows.h>

// The screen resolutions a session may ask for, smallest first.
extern SIZE const gResolutions[];
extern int const gResolutionsCount;

// Static helpers about the local desktop.
class DesktopUtil {
public:
    // The size of the virtual screen (all monitors); the primary screen's when that reads 0 wide.
    static SIZE GetDesktopResolution();
    // `wanted` when it is smaller than the desktop in both directions, else the largest entry
    // of gResolutions that is; 320x240 when none is.
    static SIZE GetBestFitResolution(SIZE wanted);
    // The same rule for a given desktop size.
    static SIZE GetBestFitResolution(SIZE wanted, SIZE desktop);
};
