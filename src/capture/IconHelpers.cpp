#include "capture/IconHelpers.h"

#include <algorithm>

namespace {

constexpr int kListSide = 16;

}  // namespace

tagSIZE ResizeProportional(tagSIZE const& size, int longerSide) {
    if (size.cx <= 0 || size.cy <= 0) {
        return tagSIZE{0, 0};
    }
    bool wide = size.cx >= size.cy;
    float factor = static_cast<float>(longerSide) / static_cast<float>(wide ? size.cx : size.cy);
    // The product in double, as the factor is: 50 x 0.32f rounded to float would reach 16.
    // A very long picture would otherwise lose its short side altogether.
    int shorter = std::max(1, static_cast<int>((wide ? size.cy : size.cx) * static_cast<double>(factor)));
    return wide ? tagSIZE{longerSide, shorter} : tagSIZE{shorter, longerSide};
}

HICON ConvertToIcon(HBITMAP bitmap) {
    BITMAP info = {};
    if (!bitmap || !GetObject(bitmap, sizeof info, &info)) {
        return nullptr;
    }
    HDC screen = GetDC(nullptr);
    HBITMAP mask = screen ? CreateCompatibleBitmap(screen, info.bmWidth, info.bmHeight) : nullptr;
    if (screen) {
        ReleaseDC(nullptr, screen);
    }
    if (!mask) {
        return nullptr;
    }
    ICONINFO icon = {TRUE, 0, 0, mask, bitmap};
    HICON made = CreateIconIndirect(&icon);
    DeleteObject(mask);
    return made;
}

HIMAGELIST LoadImageListFromIcon(HINSTANCE module, unsigned int iconId) {
    HIMAGELIST list = ImageList_Create(kListSide, kListSide, ILC_COLOR32, 1, 1);
    if (!list) {
        return nullptr;
    }
    // Loaded at the list's size: a larger icon would be cut into several images.
    auto icon = static_cast<HICON>(
        LoadImageW(module, MAKEINTRESOURCEW(iconId), IMAGE_ICON, kListSide, kListSide, LR_DEFAULTCOLOR));
    ICONINFO parts = {};
    bool added = icon && GetIconInfo(icon, &parts) && ImageList_Add(list, parts.hbmColor, parts.hbmMask) >= 0;
    if (parts.hbmColor) {
        DeleteObject(parts.hbmColor);
    }
    if (parts.hbmMask) {
        DeleteObject(parts.hbmMask);
    }
    if (icon) {
        DestroyIcon(icon);
    }
    if (!added) {
        ImageList_Destroy(list);
        return nullptr;
    }
    return list;
}
