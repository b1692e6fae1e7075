#include <gtest/gtest.h>

#include "capture/IconHelpers.h"

namespace {

TEST(IconHelpersTest, ProportionalSizesAndIcons) {
    std::pair<SIZE, SIZE> const cases[] = {
        {{100, 50}, {32, 15}},  // 0.32f is a little below 0.32
        {{50, 100}, {15, 32}}, {{40, 40}, {32, 32}}, {{1000, 1}, {32, 1}},
        {{100, 0}, {0, 0}},    {{0, 100}, {0, 0}},
    };
    for (auto const& [from, expected] : cases) {
        SIZE const size = ResizeProportional(from, 32);
        EXPECT_EQ(size.cx * 1000 + size.cy, expected.cx * 1000 + expected.cy) << from.cx << "x" << from.cy;
    }

    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 24, 20);
    ReleaseDC(nullptr, screen);
    HICON icon = ConvertToIcon(bitmap);
    ICONINFO info = {};
    ASSERT_TRUE(icon && GetIconInfo(icon, &info));
    BITMAP colour = {};
    GetObject(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth * 1000 + colour.bmHeight, 24020);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
    DeleteObject(bitmap);
    EXPECT_EQ(ConvertToIcon(nullptr), nullptr);
}

}  // namespace
