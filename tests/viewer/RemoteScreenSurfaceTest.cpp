#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "../capture/CapturePackets.h"
#include "SurfacePixels.h"
#include "WorkerThread.h"
#include "foundation/SyncEvent.h"
#include "viewer/DrawingHelper.h"
#include "viewer/RemoteScreenSurface.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string DescribeSize(SIZE size) {
    return std::to_string(size.cx) + "x" + std::to_string(size.cy);
}

void ExpectUniform(Picture const& picture, COLORREF colour) {
    for (int y = 0; y < picture.GetHeight(); ++y) {
        for (int x = 0; x < picture.GetWidth(); ++x) {
            if (PixelAt(picture, x, y) != colour) {
                FAIL() << "pixel " << x << "," << y << " is " << DescribeColour(PixelAt(picture, x, y))
                       << ", not " << DescribeColour(colour);
            }
        }
    }
}

// The context follows the frame size: made anew (black) when the size changes, kept when it
// does not, refused (and the old one kept) for sizes no frame has.
TEST(RemoteScreenSurfaceTest, ResizeFollowsTheFrameSize) {
    RemoteScreenSurface surface;
    Bytes packet = NewPacket(1);
    AppendRecord(packet, RECT{15, 5, 25, 15}, Bytes(300, 0xFF));
    auto const packetSize = static_cast<unsigned long>(packet.size());
    EXPECT_EQ(surface.DrawPacket(packet.data(), packetSize, 3), nullptr) << "no context yet";
    EXPECT_TRUE(surface.Snapshot().IsEmpty());
    EXPECT_FALSE(surface.CopyTo(GetDC(nullptr), RECT{0, 0, 1, 1}));

    SIZE const refused[] = {{0, 10}, {10, 0}, {-5, 10}, {16385, 10}, {10, 16385}, {16384, 16384}};
    for (SIZE size : refused) {
        EXPECT_FALSE(surface.Resize(size)) << DescribeSize(size);
    }
    EXPECT_EQ(DescribeSize(surface.GetSize()), "0x0");

    ASSERT_TRUE(surface.Resize(SIZE{40, 30}));
    ExpectUniform(surface.Snapshot(), RGB(0, 0, 0));
    FillSurface(surface, RGB(200, 0, 0));
    ASSERT_TRUE(surface.Resize(SIZE{40, 30}));
    ExpectUniform(surface.Snapshot(), RGB(200, 0, 0));
    EXPECT_TRUE(surface.Resize(SIZE{16384, 2}));

    ASSERT_TRUE(surface.Resize(SIZE{20, 10}));
    Picture picture = surface.Snapshot();
    EXPECT_EQ(picture.GetWidth(), 20);
    EXPECT_EQ(picture.GetHeight(), 10);
    ExpectUniform(picture, RGB(0, 0, 0));
    HRGN region = surface.DrawPacket(packet.data(), packetSize, 3);
    HRGN expected = RegionOf({RECT{15, 5, 20, 10}});
    EXPECT_TRUE(EqualRgn(region, expected));
    DeleteObject(expected);
    DeleteObject(region);
    EXPECT_FALSE(surface.Resize(SIZE{0, 0}));
    EXPECT_EQ(DescribeSize(surface.GetSize()), "20x10");
    EXPECT_EQ(PixelAt(surface.Snapshot(), 19, 9), RGB(255, 255, 255));
}

// Pictures land with their top-left corner at their rectangle's; the region collects the
// rectangles, clipped; a picture wholly off the surface changes nothing.
TEST(RemoteScreenSurfaceTest, PicturesDrawAtTheirRectangles) {
    RemoteScreenSurface surface;
    Picture green(4, 3);
    std::fill(green.GetPixels(), green.GetPixels() + 12, 0xFF00C000u);
    ChangedRegion before;
    surface.DrawPicture(green, RECT{2, 2, 6, 5}, before);
    HRGN nothing = before.Make();
    RECT box;
    EXPECT_EQ(GetRgnBox(nothing, &box), NULLREGION) << "no context yet";
    DeleteObject(nothing);
    ASSERT_TRUE(surface.Resize(SIZE{20, 10}));
    ChangedRegion changed;
    surface.DrawPicture(green, RECT{2, 2, 6, 5}, changed);
    surface.DrawPicture(green, RECT{18, 8, 22, 11}, changed);
    surface.DrawPicture(green, RECT{30, 0, 34, 3}, changed);
    HRGN region = changed.Make();
    HRGN expected = RegionOf({RECT{2, 2, 6, 5}, RECT{18, 8, 20, 10}});
    ASSERT_NE(region, nullptr);
    EXPECT_TRUE(EqualRgn(region, expected));
    DeleteObject(expected);
    DeleteObject(region);
    Picture picture = surface.Snapshot();
    EXPECT_EQ(PixelAt(picture, 2, 2), RGB(0, 0xC0, 0));
    EXPECT_EQ(PixelAt(picture, 5, 4), RGB(0, 0xC0, 0));
    EXPECT_EQ(PixelAt(picture, 6, 4), RGB(0, 0, 0));
    EXPECT_EQ(PixelAt(picture, 19, 9), RGB(0, 0xC0, 0));
}

// While another thread draws whole frames of one colour row by row, every copy a reader
// takes (a snapshot, or a copy into its own context) shows one frame, never two halves.
TEST(RemoteScreenSurfaceTest, ReadersSeeWholeFrames) {
    SIZE const size = {256, 128};
    COLORREF const colours[] = {RGB(250, 40, 10), RGB(10, 40, 250)};
    RemoteScreenSurface surface;
    ASSERT_TRUE(surface.Resize(size));
    std::vector<Bytes> frames;
    for (COLORREF colour : colours) {
        Bytes frame = NewPacket(std::uint32_t(size.cy));
        for (long y = 0; y < size.cy; ++y) {
            Bytes row;
            for (long x = 0; x < size.cx; ++x) {
                row.insert(row.end(), {GetBValue(colour), GetGValue(colour), GetRValue(colour)});
            }
            AppendRecord(frame, RECT{0, y, size.cx, y + 1}, row);
        }
        frames.push_back(frame);
    }
    std::atomic<bool> stop(false);
    std::atomic<int> drawn(0);
    SyncEvent started;
    WorkerThread drawer([&] {
        for (int i = 0; !stop; ++i) {
            Bytes const& frame = frames[i % 2];
            DeleteObject(surface.DrawPacket(frame.data(), static_cast<unsigned long>(frame.size()), 3));
            if (++drawn == 2) {
                started.Set();
            }
        }
    });
    ASSERT_EQ(started.Wait(10000), WAIT_OBJECT_0);
    HDC screen = GetDC(nullptr);
    HDC copy = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, size.cx / 2, size.cy / 2);
    ReleaseDC(nullptr, screen);
    HGDIOBJ previous = SelectObject(copy, bitmap);
    int const before = drawn;
    for (int i = 0; i < 20; ++i) {
        Picture picture = surface.Snapshot();
        ExpectUniform(picture, PixelAt(picture, 0, 0));
        ASSERT_TRUE(surface.CopyTo(copy, RECT{0, 0, size.cx / 2, size.cy / 2}));
        COLORREF corner = GetPixel(copy, 0, 0);
        EXPECT_TRUE(corner == colours[0] || corner == colours[1]) << DescribeColour(corner);
        EXPECT_EQ(GetPixel(copy, size.cx / 2 - 1, size.cy / 2 - 1), corner);
    }
    stop = true;
    drawer.Join();
    EXPECT_GT(drawn, before) << "frames were drawn while the copies were taken";
    SelectObject(copy, previous);
    DeleteObject(bitmap);
    DeleteDC(copy);
}

}  // namespace
