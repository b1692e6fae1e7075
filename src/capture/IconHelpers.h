#pragma once

#include <windows.h>
#include <commctrl.h>

// Sizes, icons and image lists for thumbnails and small pictures. Any thread.

// The size scaled so that its longer side (the width on a tie) becomes `longerSide`; the
// other side is truncated (the factor held as a float), but never below 1. A size without
// area gives 0 x 0.
tagSIZE ResizeProportional(tagSIZE const& size, int longerSide);

// An icon (owned by the caller, DestroyIcon) whose colour bitmap is a copy of `bitmap` and
// whose mask is a screen-compatible bitmap of its size, hot spot (0, 0). Null on failure.
HICON ConvertToIcon(HBITMAP bitmap);

// A 16 x 16, 32-bit image list (owned by the caller, ImageList_Destroy) holding the icon
// resource `iconId` of `module` at that size. Null when the icon or the list cannot be made.
HIMAGELIST LoadImageListFromIcon(HINSTANCE module, unsigned int iconId);
