#include <gtest/gtest.h>

#include <windows.h>

#include "foundation/DesktopUtil.h"

namespace {

TEST(DesktopUtilTest, BestFitIsStrictlySmallerThanTheDesktop) {
    struct Case {
        SIZE wanted;
        SIZE desktop;
        SIZE fit;
    };
    Case const cases[] = {
        {{800, 600}, {1280, 1024}, {800, 600}},    {{1279, 1023}, {1280, 1024}, {1279, 1023}},
        {{1280, 1024}, {1280, 1024}, {1024, 768}}, {{2000, 10}, {1280, 1024}, {1024, 768}},
        {{1024, 768}, {1025, 768}, {800, 600}},    {{640, 480}, {641, 481}, {640, 480}},
        {{300, 200}, {300, 200}, {320, 240}},      {{0, 0}, {0, 0}, {320, 240}},
        {{-1, -1}, {300, 200}, {-1, -1}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(std::to_string(c.wanted.cx) + "x" + std::to_string(c.wanted.cy) + " on " +
                     std::to_string(c.desktop.cx) + "x" + std::to_string(c.desktop.cy));
        SIZE fit = DesktopUtil::GetBestFitResolution(c.wanted, c.desktop);
        EXPECT_EQ(fit.cx, c.fit.cx);
        EXPECT_EQ(fit.cy, c.fit.cy);
    }

    SIZE desktop = DesktopUtil::GetDesktopResolution();
    EXPECT_EQ(desktop.cx, GetSystemMetrics(SM_CXVIRTUALSCREEN));
    EXPECT_EQ(desktop.cy, GetSystemMetrics(SM_CYVIRTUALSCREEN));
    SIZE fit = DesktopUtil::GetBestFitResolution(desktop);
    EXPECT_TRUE(fit.cx < desktop.cx || (fit.cx == 320 && fit.cy == 240));
}

}  // namespace
