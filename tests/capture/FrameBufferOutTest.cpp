#include <gtest/gtest.h>

#include <cstdlib>
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

// In every format: the first packet covers the whole frame trimmed against the zeroed frame;
// then only marked cells that changed count, the screen's last column and row included, each
// change trimmed to its pixels.
TEST_F(FrameBufferOutTest, FirstPacketThenOnlyMarkedChangesTrimmedInEveryFormat) {
    for (int depth = 1; depth <= 3; ++depth) {
        SCOPED_TRACE("bytes per pixel " + std::to_string(depth));
        ASSERT_TRUE(scene->Reset());
        Fill(RECT{0, 0, 1, 1}, kOrange);
        Fill(RECT{size.cx - 2, size.cy - 2, size.cx, size.cy}, kGreen);
        CFrameBufferOut buffer;
        ASSERT_EQ(buffer.UseDriver(), 0);
        buffer.SetCaps(size.cx, size.cy, depth);
        CapturePacket first = TakePacket(buffer);
        ExpectRect(first, RECT{0, 0, size.cx, size.cy});
        EXPECT_EQ(first.bytes.size(), 12u + std::size_t(size.cx) * size.cy * depth);
        EXPECT_EQ(PixelOf(first, 0, 0, depth), ReferencePixel(kOrange, depth));
        EXPECT_EQ(PixelOf(first, size.cx - 1, size.cy - 1, depth), ReferencePixel(kGreen, depth));
        EXPECT_EQ(PixelOf(first, 1, 1, depth), ReferencePixel(RGB(0, 0, 0), depth));
        EXPECT_FALSE(TakePacket(buffer).present) << "nothing marked";

        RECT const screen = {0, 0, size.cx, size.cy};
        buffer.InvalidateRect(screen);
        EXPECT_FALSE(TakePacket(buffer).present) << "marked but unchanged";
        Fill(RECT{size.cx - 1, 0, size.cx, size.cy}, kGreen);
        buffer.InvalidateRect(screen);
        ExpectRect(TakePacket(buffer), RECT{size.cx - 1, 0, size.cx, size.cy - 2});

        RECT const change = {301, 402, 337, 405};
        EXPECT_FALSE(buffer.HasRectChanged(change));
        Fill(change, kGrey250);
        Fill(RECT{310, 403, 311, 404}, kOrange);
        EXPECT_TRUE(buffer.HasRectChanged(change));
        EXPECT_TRUE(buffer.HasRectChanged(RECT{size.cx - 10, 0, size.cx + 10, 10}))
            << "reaches past the frame";
        EXPECT_FALSE(TakePacket(buffer).present) << "the cells were cleared, nothing marked them again";
        buffer.InvalidateRect(RECT{290, 390, 400, 450});
        CapturePacket const packet = TakePacket(buffer);
        ExpectRect(packet, change);
        ASSERT_EQ(packet.bytes.size(), 12u + 36 * 3 * depth);
        EXPECT_EQ(PixelOf(packet, 301, 402, depth), ReferencePixel(kGrey250, depth));
        EXPECT_EQ(PixelOf(packet, 310, 403, depth), ReferencePixel(kOrange, depth));
        EXPECT_EQ(PixelOf(packet, 336, 404, depth), ReferencePixel(kGrey250, depth));
        EXPECT_FALSE(buffer.HasRectChanged(change));
        EXPECT_FALSE(TakePacket(buffer).present);
    }
}

// Cells the viewer lacks go again from the stored frame, whole, once they have been still,
// at most so many at a time.
TEST_F(FrameBufferOutTest, LackingCellsGoAgainExactOnceStill) {
    auto buffer = std::make_unique<CFrameBufferOut>();
    buffer->SetCaps(size.cx, size.cy, 1);
    TakePacket(*buffer);
    RECT const change = {40, 40, 50, 50};
    Fill(change, kOrange);
    buffer->InvalidateRect(change);
    CapturePacket const lossy = TakePacket(*buffer);
    ExpectRect(lossy, change);
    DWORD const sent = 1000;
    DWORD const still = 300;
    buffer->NoteLacking(lossy.bytes.data(), static_cast<unsigned long>(lossy.bytes.size()), sent);
    EXPECT_EQ(buffer->NextRefinementDue(sent + 100, still), 200u);
    auto refine = [&](DWORD now, int maxCells) {
        void* data = nullptr;
        unsigned long bytes = 0;
        if (!buffer->GetRefinement(data, bytes, now, still, maxCells)) {
            return CapturePacket();
        }
        CapturePacket const packet = ReadPacket(data, bytes, 1);
        std::free(data);
        return packet;
    };
    EXPECT_FALSE(refine(sent + still - 1, 256).present);
    CapturePacket const exact = refine(sent + still, 256);
    ASSERT_EQ(exact.rects.size(), 1u);
    EXPECT_EQ(Describe(exact.rect), Describe(RECT{32, 32, 64, 64}));
    EXPECT_EQ(PixelOf(exact, 45, 45, 1), ReferencePixel(kOrange, 1));
    EXPECT_EQ(PixelOf(exact, 33, 33, 1), ReferencePixel(RGB(0, 0, 0), 1));
    EXPECT_EQ(buffer->NextRefinementDue(sent + still, still), INFINITE);

    std::vector<unsigned char> row = NewPacket(1);
    AppendRecord(row, RECT{0, 0, 5 * 32, 1}, std::vector<unsigned char>(5 * 32, 0));
    buffer->NoteLacking(row.data(), static_cast<unsigned long>(row.size()), sent);
    EXPECT_EQ(Describe(refine(sent + still, 3).rect), Describe(RECT{0, 0, 96, 32}));
    EXPECT_EQ(Describe(refine(sent + still, 3).rect), Describe(RECT{96, 0, 160, 32}));
    EXPECT_FALSE(refine(sent + still, 3).present);
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
