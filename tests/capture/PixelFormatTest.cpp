#include <gtest/gtest.h>

#include <random>

#include "CapturePackets.h"
#include "capture/PixelFormat.h"

namespace {

// Every conversion path (24- and 32-bit sources, whole vectors and row tails, comparing) gives
// the reference pixels, for random colours and the component values at the saturation edge.
TEST(PixelFormatTest, EveryPathMatchesTheReference) {
    std::mt19937 random(15);
    std::vector<COLORREF> colours = {RGB(0, 0, 0),       RGB(255, 255, 255), RGB(250, 250, 250),
                                     RGB(240, 252, 253), RGB(241, 254, 252), RGB(7, 3, 8)};
    while (colours.size() < 1003) {
        colours.push_back(RGB(random() % 256, random() % 256, random() % 256));
    }
    std::vector<unsigned char> bgr, bgrx;
    for (COLORREF colour : colours) {
        bgr.insert(bgr.end(), {GetBValue(colour), GetGValue(colour), GetRValue(colour)});
        bgrx.insert(bgrx.end(), {GetBValue(colour), GetGValue(colour), GetRValue(colour), 0x5A});
    }
    for (int depth = 1; depth <= 3; ++depth) {
        SCOPED_TRACE("bytes per pixel " + std::to_string(depth));
        std::vector<unsigned char> expected;
        for (COLORREF colour : colours) {
            std::vector<unsigned char> pixel = ReferencePixel(colour, depth);
            expected.insert(expected.end(), pixel.begin(), pixel.end());
        }
        std::vector<unsigned char> fromBgr(expected.size()), fromBgrx(expected.size());
        PixelFormat::ConvertRow(bgr.data(), colours.size(), depth, fromBgr.data());
        PixelFormat::ConvertRow32(bgrx.data(), colours.size(), depth, fromBgrx.data());
        EXPECT_EQ(fromBgr, expected);
        EXPECT_EQ(fromBgrx, expected);
        EXPECT_TRUE(PixelFormat::EqualsRow32(bgrx.data(), colours.size(), depth, expected.data()));
        expected.back() ^= 0x80;  // in the row's tail, after the whole vectors
        EXPECT_FALSE(PixelFormat::EqualsRow32(bgrx.data(), colours.size(), depth, expected.data()));
    }
}

}  // namespace
