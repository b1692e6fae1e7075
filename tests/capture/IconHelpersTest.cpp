#include <gtest/gtest.h>

#include "capture/IconHelpers.h"

namespace {

TEST(IconHelpersTest, IconsListsAndProportionalSizes) {
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 24, 20);
    ReleaseDC(nullptr, screen);
    HICON icon = ConvertToIcon(bitmap);
    ASSERT_NE(icon, nullptr);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP colour = {};
    GetObject(info.hbmColor, sizeof colour, &colour);
    EXPECT_TRUE(info.fIcon);
    EXPECT_EQ(colour.bmWidth, 24);
    EXPECT_EQ(colour.bmHeight, 20);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
    DeleteObject(bitmap);
    EXPECT_EQ(ConvertToIcon(nullptr), nullptr);

    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    HIMAGELIST list = LoadImageListFromIcon(user32, 32512);  // the system's application icon
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(list), 1);
    int width = 0;
    int height = 0;
    ImageList_GetIconSize(list, &width, &height);
    EXPECT_EQ(width, 16);
    EXPECT_EQ(height, 16);
    ImageList_Destroy(list);
    EXPECT_EQ(LoadImageListFromIcon(GetModuleHandleW(nullptr), 4711), nullptr);

    SIZE size = ResizeProportional(SIZE{100, 50}, 32);  // 0.32f is a little below 0.32
    EXPECT_EQ(size.cx, 32);
    EXPECT_EQ(size.cy, 15);
    size = ResizeProportional(SIZE{40, 40}, 32);
    EXPECT_EQ(size.cx, 32);
    EXPECT_EQ(size.cy, 32);
}

}  // namespace
