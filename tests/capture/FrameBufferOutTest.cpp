#include <gtest/gtest.h>

#include <memory>

#include "CapturePackets.h"
#include "SceneTest.h"
#include "capture/FrameBufferOut.h"

namespace {

COLORREF const kGrey250 = RGB(250, 250, 250);
COLORREF const kOrange = RGB(200, 100, 30);
COLORREF const kGreen = RGB(17, 200, 90);

class FrameBufferOutTest : public SceneTest {
protected:
    // A buffer at `depth` whose first packet has been taken.
    std::unique_ptr<CFrameBufferOut> MakeBuffer(int depth) {
        auto buffer = std::make_unique<CFrameBufferOut>();
        buffer->SetCaps(size.cx, size.cy, depth);
        TakePacket(*buffer);
        return buffer;
    }

    // Pixel (x, y) of the packet's rectangle.
    static std::vector<unsigned char> PixelOf(CapturePacket const& packet, long x, long y, int depth) {
        long width = packet.rect.right - packet.rect.left;
        std::size_t at = 12 + (std::size_t(y - packet.rect.top) * width + (x - packet.rect.left)) * depth;
        return std::vector<unsigned char>(packet.bytes.begin() + at, packet.bytes.begin() + at + depth);
    }

    static void ExpectRect(CapturePacket const& packet, RECT const& rect) {
        ASSERT_TRUE(packet.present);
        EXPECT_EQ(packet.count, 1u);
        EXPECT_EQ(Describe(packet.rect), Describe(rect));
    }
};

// The first packet covers the tracked area (one pixel short of the screen at the right and
// the bottom) trimmed against the zeroed frame; then only marked cells that changed count.
TEST_F(FrameBufferOutTest, FirstPacketThenOnlyMarkedChanges) {
    Fill(RECT{0, 0, 1, 1}, kOrange);
    Fill(RECT{size.cx - 2, size.cy - 2, size.cx, size.cy}, kGreen);
    CFrameBufferOut buffer;
    ASSERT_EQ(buffer.UseDriver(), 0);
    CapturePacket first = TakePacket(buffer);
    ExpectRect(first, RECT{0, 0, size.cx - 1, size.cy - 1});
    EXPECT_EQ(first.bytes.size(), 12u + std::size_t(size.cx - 1) * (size.cy - 1));
    EXPECT_EQ(PixelOf(first, 0, 0, 1), ReferencePixel(kOrange, 1));
    EXPECT_EQ(PixelOf(first, size.cx - 2, size.cy - 2, 1), ReferencePixel(kGreen, 1));
    EXPECT_EQ(PixelOf(first, 1, 1, 1), ReferencePixel(RGB(0, 0, 0), 1));
    EXPECT_FALSE(TakePacket(buffer).present) << "nothing marked";

    RECT const screen = {0, 0, size.cx, size.cy};
    buffer.InvalidateRect(screen);
    EXPECT_FALSE(TakePacket(buffer).present) << "marked but unchanged";
    Fill(RECT{size.cx - 1, 0, size.cx, size.cy}, kGreen);
    buffer.InvalidateRect(screen);
    EXPECT_FALSE(TakePacket(buffer).present) << "the last column is not tracked";

    RECT const change = {500, 300, 540, 310};
    EXPECT_FALSE(buffer.HasRectChanged(change));
    Fill(change, kGrey250);
    EXPECT_TRUE(buffer.HasRectChanged(change));
    EXPECT_TRUE(buffer.HasRectChanged(RECT{size.cx - 10, 0, size.cx + 10, 10})) << "reaches past the frame";
    EXPECT_FALSE(TakePacket(buffer).present) << "the cells were cleared, nothing marked them again";
    buffer.InvalidateRect(RECT{490, 295, 560, 320});
    ExpectRect(TakePacket(buffer), change);
    EXPECT_FALSE(buffer.HasRectChanged(change));
    EXPECT_FALSE(TakePacket(buffer).present);
}

TEST_F(FrameBufferOutTest, ChangeTrimmedToItsPixelsInEveryFormat) {
    for (int depth = 1; depth <= 3; ++depth) {
        SCOPED_TRACE("bytes per pixel " + std::to_string(depth));
        ASSERT_TRUE(scene->Reset());
        auto buffer = std::make_unique<CFrameBufferOut>();
        buffer->SetCaps(size.cx, size.cy, depth);
        EXPECT_FALSE(TakePacket(*buffer).present) << "a black screen equals the zeroed frame";

        RECT const change = {301, 402, 337, 405};
        Fill(change, kGrey250);
        Fill(RECT{310, 403, 311, 404}, kOrange);
        buffer->InvalidateRect(RECT{290, 390, 400, 450});
        CapturePacket packet = TakePacket(*buffer);
        ExpectRect(packet, change);
        ASSERT_EQ(packet.bytes.size(), 12u + 36 * 3 * depth);
        EXPECT_EQ(PixelOf(packet, 301, 402, depth), ReferencePixel(kGrey250, depth));
        EXPECT_EQ(PixelOf(packet, 310, 403, depth), ReferencePixel(kOrange, depth));
        EXPECT_EQ(PixelOf(packet, 336, 404, depth), ReferencePixel(kGrey250, depth));

        Fill(RECT{700, 600, 701, 601}, kGreen);
        buffer->InvalidateRect(RECT{650, 580, 760, 700});
        packet = TakePacket(*buffer);
        ExpectRect(packet, RECT{700, 600, 701, 601});
        EXPECT_EQ(packet.bytes.size(), 12u + depth);
        EXPECT_EQ(PixelOf(packet, 700, 600, depth), ReferencePixel(kGreen, depth));
        EXPECT_FALSE(TakePacket(*buffer).present);
    }
}

// Cells 2..9 of grid rows 3..4 and cells 2..5 of rows 5..8 change: the merge takes the larger
// narrow block first and leaves the rest dirty for the next call.
TEST_F(FrameBufferOutTest, LargeChangeMergesIntoARectThatNarrowsDownwards) {
    auto buffer = MakeBuffer(3);
    Fill(RECT{64, 96, 320, 160}, kOrange);
    Fill(RECT{64, 160, 192, 288}, kOrange);
    buffer->InvalidateRect(RECT{0, 0, size.cx, size.cy});
    ExpectRect(TakePacket(*buffer), RECT{64, 96, 192, 288});
    ExpectRect(TakePacket(*buffer), RECT{192, 96, 320, 160});
    EXPECT_FALSE(TakePacket(*buffer).present);
}

// A change that keeps coming back does not starve one farAway away.
TEST_F(FrameBufferOutTest, ScanResumesWhereItStopped) {
    auto buffer = MakeBuffer(3);
    RECT const closeBy = {40, 40, 50, 50};
    RECT const farAway = {970, 810, 980, 820};
    Fill(closeBy, kOrange);
    Fill(farAway, kGreen);
    buffer->InvalidateRect(closeBy);
    buffer->InvalidateRect(farAway);
    ExpectRect(TakePacket(*buffer), closeBy);
    Fill(closeBy, kGrey250);
    buffer->InvalidateRect(closeBy);
    ExpectRect(TakePacket(*buffer), farAway);
    ExpectRect(TakePacket(*buffer), closeBy);
    EXPECT_FALSE(TakePacket(*buffer).present);
}

// A new size zeroes the frame; cells that existed keep their bits, new cells start dirty.
TEST_F(FrameBufferOutTest, ResizingKeepsTheBitsOfOldCells) {
    RECT const inside = {100, 100, 110, 110};
    RECT const outside = {900, 700, 910, 710};
    Fill(inside, kOrange);
    Fill(outside, kGreen);
    auto buffer = std::make_unique<CFrameBufferOut>();
    buffer->SetCaps(size.cx, size.cy, 3);
    ExpectRect(TakePacket(*buffer), RECT{100, 100, 910, 710});

    buffer->SetCaps(640, 480, 3);
    EXPECT_FALSE(TakePacket(*buffer).present);
    buffer->SetCaps(size.cx, size.cy, 3);
    ExpectRect(TakePacket(*buffer), outside);
    EXPECT_FALSE(TakePacket(*buffer).present) << "the old cells stay clear against the zeroed frame";

    buffer->InvalidateRect(inside);
    buffer->ReInitialize(0);
    ExpectRect(TakePacket(*buffer), inside);
    EXPECT_FALSE(TakePacket(*buffer).present);
}

}  // namespace
