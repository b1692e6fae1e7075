#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "../capture/CapturePackets.h"
#include "TempFolder.h"
#include "WorkerThread.h"
#include "foundation/Errors.h"
#include "foundation/StringHelper.h"
#include "foundation/SyncEvent.h"
#include "foundation/Timer.h"
#include "imaging/Picture.h"
#include "viewer/DrawingHelper.h"
#include "viewer/RemoteScreenSurface.h"

namespace {

using Bytes = std::vector<unsigned char>;

// The snapshot's pixels, rows top-down.
std::vector<COLORREF> Pixels(Picture const& picture) {
    std::vector<COLORREF> pixels;
    for (int i = 0; i < picture.GetWidth() * picture.GetHeight(); ++i) {
        std::uint32_t value = picture.GetPixels()[i];
        pixels.push_back(RGB(value >> 16 & 0xFF, value >> 8 & 0xFF, value & 0xFF));
    }
    return pixels;
}

// Paints the whole surface in one colour.
void FillSurface(RemoteScreenSurface& surface, COLORREF colour) {
    RemoteScreenSurface::Reader reader(surface);
    RECT const all = {0, 0, reader.GetSize().cx, reader.GetSize().cy};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(reader.GetDC(), &all, brush);
    DeleteObject(brush);
}

// True when `region` (deleted here) holds exactly the union of `rects`.
bool RegionIs(HRGN region, std::vector<RECT> const& rects) {
    HRGN expected = CreateRectRgn(0, 0, 0, 0);
    for (RECT const& rect : rects) {
        HRGN piece = CreateRectRgnIndirect(&rect);
        CombineRgn(expected, expected, piece, RGN_OR);
        DeleteObject(piece);
    }
    bool same = region && EqualRgn(region, expected);
    DeleteObject(expected);
    DeleteObject(region);
    return same;
}

HRGN Draw(RemoteScreenSurface& surface, Bytes const& packet, int bytesPerPixel) {
    return surface.DrawPacket(packet.data(), static_cast<unsigned long>(packet.size()), bytesPerPixel);
}

// The context follows the frame size: made anew (black) when the size changes, kept when it does
// not, refused (and the old one kept) for sizes no frame has. Only depths of 1 to 3 bytes draw;
// pictures land at their rectangle's top-left corner; the region holds what was drawn, clipped.
TEST(RemoteScreenSurfaceTest, ContextFollowsTheFrameSizeAndDrawsClipped) {
    RemoteScreenSurface surface;
    Bytes packet = NewPacket(1);
    AppendRecord(packet, RECT{15, 5, 25, 15}, Bytes(400, 0xFF));
    Picture square(4, 3);
    std::fill(square.GetPixels(), square.GetPixels() + 12, 0xFF00C000u);
    ChangedRegion changed;
    surface.DrawPicture(square, RECT{2, 2, 6, 5}, changed);
    EXPECT_TRUE(RegionIs(changed.Make(), {})) << "no context yet";
    EXPECT_EQ(Draw(surface, packet, 3), nullptr);
    EXPECT_TRUE(surface.Snapshot().IsEmpty());
    EXPECT_FALSE(surface.CopyTo(GetDC(nullptr), RECT{0, 0, 1, 1}));
    for (SIZE size : {SIZE{0, 10}, SIZE{10, 0}, SIZE{16385, 10}, SIZE{10, 16385}, SIZE{16384, 16384}}) {
        EXPECT_FALSE(surface.Resize(size)) << size.cx << "x" << size.cy;
    }
    EXPECT_EQ(surface.GetSize().cx, 0);

    ASSERT_TRUE(surface.Resize(SIZE{40, 30}));
    FillSurface(surface, RGB(200, 0, 0));
    ASSERT_TRUE(surface.Resize(SIZE{40, 30}));
    EXPECT_EQ(Pixels(surface.Snapshot()), std::vector<COLORREF>(40 * 30, RGB(200, 0, 0)));
    EXPECT_TRUE(surface.Resize(SIZE{16384, 2}));
    ASSERT_TRUE(surface.Resize(SIZE{20, 10}));
    for (int depth : {0, 4}) {
        EXPECT_TRUE(RegionIs(Draw(surface, packet, depth), {})) << depth;
    }
    EXPECT_EQ(Pixels(surface.Snapshot()), std::vector<COLORREF>(20 * 10, RGB(0, 0, 0)));
    EXPECT_TRUE(RegionIs(Draw(surface, packet, 3), {RECT{15, 5, 20, 10}}));
    for (RECT rect : {RECT{2, 2, 6, 5}, RECT{18, 8, 22, 11}, RECT{30, 0, 34, 3}}) {
        surface.DrawPicture(square, rect, changed);
    }
    EXPECT_TRUE(RegionIs(changed.Make(), {RECT{2, 2, 6, 5}, RECT{18, 8, 20, 10}}));
    EXPECT_FALSE(surface.Resize(SIZE{0, 0}));
    EXPECT_EQ(surface.GetSize().cx, 20);
    std::vector<COLORREF> const pixels = Pixels(surface.Snapshot());
    COLORREF const green = RGB(0, 0xC0, 0);
    EXPECT_EQ(std::vector<COLORREF>({pixels[2 * 20 + 2], pixels[4 * 20 + 5], pixels[4 * 20 + 6],
                                     pixels[5 * 20 + 15], pixels[9 * 20 + 19]}),
              std::vector<COLORREF>({green, green, RGB(0, 0, 0), RGB(255, 255, 255), green}));
}

// While another thread draws whole frames of one colour row by row, every copy a reader takes
// (a snapshot, or its own look through a Reader) shows one frame, never two halves.
TEST(RemoteScreenSurfaceTest, ReadersSeeWholeFrames) {
    SIZE const size = {256, 128};
    RemoteScreenSurface surface;
    ASSERT_TRUE(surface.Resize(size));
    Bytes frames[2] = {NewPacket(std::uint32_t(size.cy)), NewPacket(std::uint32_t(size.cy))};
    for (long row = 0; row < 2 * size.cy; ++row) {
        AppendRecord(frames[row % 2], RECT{0, row / 2, size.cx, row / 2 + 1},
                     Bytes(size.cx * 3, row % 2 ? 250 : 10));
    }
    std::atomic<bool> stop(false);
    std::atomic<int> drawn(0);
    SyncEvent started;
    WorkerThread drawer([&] {
        for (int i = 0; !stop; ++i) {
            DeleteObject(Draw(surface, frames[i % 2], 3));
            if (++drawn == 2) {
                started.Set();
            }
        }
    });
    ASSERT_EQ(started.Wait(10000), WAIT_OBJECT_0);
    int const before = drawn;
    for (int i = 0; i < 20; ++i) {
        std::vector<COLORREF> const pixels = Pixels(surface.Snapshot());
        EXPECT_TRUE(pixels == std::vector<COLORREF>(pixels.size(), pixels[0]));
        RemoteScreenSurface::Reader reader(surface);
        COLORREF const top = GetPixel(reader.GetDC(), 0, 0);
        Sleep(1);  // time for a drawer that does not wait
        EXPECT_EQ(GetPixel(reader.GetDC(), size.cx - 1, size.cy - 1), top);
    }
    stop = true;
    drawer.Join();
    EXPECT_GT(drawn, before) << "frames were drawn while the copies were taken";
}

SIZE const kSurface = {64, 48};
COLORREF const kUnpainted = RGB(1, 2, 3);

// The test's own walk: what the surface should show and which areas were painted.
struct Expected {
    std::vector<COLORREF> pixels = std::vector<COLORREF>(std::size_t(kSurface.cx * kSurface.cy), kUnpainted);
    std::vector<RECT> painted;

    void Walk(Bytes const& packet, int bytesPerPixel) {
        std::size_t size = packet.size(), at = 4;
        std::uint32_t count = 0;
        std::memcpy(&count, packet.data(), std::min<std::size_t>(size, 4));
        for (std::uint32_t i = 0; size >= 4 && i < count && size - at >= 8; ++i) {
            auto edge = [&](int n) { return long(packet[at + 2 * n] | packet[at + 2 * n + 1] << 8); };
            RECT rect = {edge(0), edge(1), edge(2), edge(3)};
            std::uint64_t bytes =
                std::uint64_t(rect.right - rect.left) * (rect.bottom - rect.top) * bytesPerPixel;
            if (rect.right < rect.left || rect.bottom < rect.top || bytes > size - at - 8) {
                return;
            }
            RECT clip = {rect.left, rect.top, std::min(rect.right, kSurface.cx),
                         std::min(rect.bottom, kSurface.cy)};
            if (clip.left < clip.right && clip.top < clip.bottom) {
                painted.push_back(clip);
            }
            for (long y = clip.top; y < clip.bottom; ++y) {
                for (long x = clip.left; x < clip.right; ++x) {
                    std::size_t from =
                        (std::size_t(y - rect.top) * (rect.right - rect.left) + (x - rect.left));
                    pixels[std::size_t(y * kSurface.cx + x)] =
                        ExpandedColour(&packet[at + 8 + from * bytesPerPixel], bytesPerPixel);
                }
            }
            at += 8 + std::size_t(bytes);
        }
    }
};

// A few records near and beyond the surface's edges, some reversed or claiming far more pixels
// than follow (sizes that wrap in 32 bits), a count that may disagree, sometimes cut short.
Bytes RandomPacket(std::mt19937& random, int bytesPerPixel) {
    auto below = [&](unsigned limit) { return long(random() % limit); };
    int records = int(below(5));
    Bytes packet = NewPacket(std::uint32_t(std::max(0L, records + below(4) - 1)));
    for (int i = 0; i < records; ++i) {
        long kind = below(20);
        RECT rect = {below(90), below(70), 0, 0};
        rect.right = rect.left + below(40);
        rect.bottom = rect.top + below(30);
        std::size_t bytes = std::size_t((rect.right - rect.left) * (rect.bottom - rect.top)) * bytesPerPixel;
        if (kind == 0) {
            std::swap(rect.left, rect.right);
        } else if (kind == 1 || kind == 2) {  // 45761 x 62571 x 3 is 1 modulo 2^32
            rect = kind == 1 ? RECT{0, 0, 45761, 62571} : RECT{0, 0, 65535, 65535};
            bytes = std::size_t(below(16));
        }
        Bytes pixels(bytes);
        std::generate(pixels.begin(), pixels.end(), [&] { return static_cast<unsigned char>(random()); });
        AppendRecord(packet, rect, pixels);
    }
    if (below(5) == 0) {
        packet.resize(std::size_t(below(unsigned(packet.size()) + 1)));
    }
    return packet;
}

// Random packets show exactly what the test's own walk paints, clipped, with the union of those
// areas as the region; they never read past the packet and raise only the library's errors.
TEST(PacketDrawingFuzzTest, RandomPacketsDrawOnlyWhatTheyHold) {
    RemoteScreenSurface surface;
    ASSERT_TRUE(surface.Resize(kSurface));
    // Each packet ends where a page that may not be read begins: a walk past it faults.
    std::size_t const span = 64 * 1024;
    auto* guarded = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, 2 * span, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(guarded + span, span, PAGE_NOACCESS, &old));
    for (unsigned seed = 1; seed <= 12000; ++seed) {
        std::mt19937 random(seed);
        int bytesPerPixel = 1 + int(random() % 3);
        Bytes const packet = RandomPacket(random, bytesPerPixel);
        SCOPED_TRACE("seed " + std::to_string(seed));
        unsigned char* const data = guarded + span - packet.size();
        std::copy(packet.begin(), packet.end(), data);
        FillSurface(surface, kUnpainted);
        HRGN region = nullptr;
        try {
            region = surface.DrawPacket(data, static_cast<unsigned long>(packet.size()), bytesPerPixel);
        } catch (BaseError const&) {
        }
        Expected expected;
        expected.Walk(packet, bytesPerPixel);
        ASSERT_TRUE(RegionIs(region, expected.painted));
        ASSERT_TRUE(Pixels(surface.Snapshot()) == expected.pixels);
    }
    VirtualFree(guarded, 0, MEM_RELEASE);
}

// The region of a packet's rectangles is made at once: one union per rectangle took 15.5 s for
// this checkerboard of 80,000 pixels; the bound leaves room for a loaded machine.
TEST(DrawingHelperTest, RegionsAreMadeQuicklyAndStretch) {
    int const side = 400;
    RemoteScreenSurface surface;
    ASSERT_TRUE(surface.Resize(SIZE{side, side}));
    std::vector<unsigned char> packet = NewPacket(side * side / 2);
    for (int y = 0; y < side; ++y) {
        for (int x = y % 2; x < side; x += 2) {
            AppendRecord(packet, RECT{x, y, x + 1, y + 1}, {0, 0, 255});
        }
    }
    Timer timer(true);
    HRGN region = DrawingHelper::DrawRectangle(surface.GetDC(), packet.data(),
                                               static_cast<unsigned long>(packet.size()), 3, true);
    EXPECT_LT(timer.GetTimeInSec(), 2.0);
    ASSERT_NE(region, nullptr);
    std::vector<unsigned char> data(GetRegionData(region, 0, nullptr));
    auto* header = reinterpret_cast<RGNDATA*>(data.data());
    ASSERT_EQ(GetRegionData(region, DWORD(data.size()), header), data.size());
    DeleteObject(region);
    EXPECT_EQ(header->rdh.nCount, DWORD(side * side / 2));
    RECT const& bound = header->rdh.rcBound;
    EXPECT_EQ(bound.right - bound.left + bound.bottom - bound.top, 2 * side);
    // A region of two rectangles stretched and moved.
    region = CreateRectRgn(0, 0, 10, 10);
    HRGN second = CreateRectRgn(20, 0, 30, 4);
    CombineRgn(region, region, second, RGN_OR);
    DeleteObject(second);
    EXPECT_TRUE(RegionIs(DrawingHelper::CreateStretchRgn(region, 2.0f, 0.5f, 5, 7),
                         {RECT{5, 7, 25, 12}, RECT{45, 7, 65, 9}}));
    DeleteObject(region);
    EXPECT_EQ(DrawingHelper::CreateStretchRgn(nullptr, 1, 1, 0, 0), nullptr);
}

// The file and information headers for DIB sections with masks, with none and with a palette.
TEST(DrawingHelperTest, SavedBitmapHeadersFollowTheBitmapsDepth) {
    TempFolder folder;
    std::wstring const path = StringHelper::StrToWstr(folder.File("saved.bmp"), false);
    HDC dc = CreateCompatibleDC(nullptr);
    for (WORD bits : {1, 8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD colours[256];
        } info = {{sizeof(BITMAPINFOHEADER), 5, 3, 1, bits, BI_RGB, 0, 0, 0, 0, 0}, {}};
        void* pixels = nullptr;
        HBITMAP bitmap =
            CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels, nullptr, 0);
        HGDIOBJ previous = SelectObject(dc, bitmap);
        ASSERT_EQ(DrawingHelper::SaveHdc2Bitmap(dc, path.c_str()), 1);
        std::string const file = ReadWholeFile(folder.File("saved.bmp"));
        BITMAPFILEHEADER head = {};
        BITMAPINFOHEADER saved = {};
        ASSERT_GE(file.size(), sizeof head + sizeof saved);
        std::memcpy(&head, file.data(), sizeof head);
        std::memcpy(&saved, file.data() + sizeof head, sizeof saved);
        bool const masks = bits == 16 || bits == 32;
        std::uint32_t const offset = 14 + 40 + (masks ? 12 : bits <= 8 ? 4u << bits : 0);
        EXPECT_EQ(head.bfType, 0x4D42);
        EXPECT_EQ(file.size(), offset + 3 * ((5 * bits + 31) / 32 * 4));
        EXPECT_EQ(head.bfSize, file.size());
        EXPECT_EQ(head.bfOffBits, offset);
        EXPECT_EQ(saved.biBitCount, bits);
        EXPECT_EQ(saved.biPlanes, 1);
        EXPECT_EQ(saved.biCompression, masks ? DWORD(BI_BITFIELDS) : DWORD(BI_RGB));
        SelectObject(dc, previous);
        DeleteObject(bitmap);
    }
    EXPECT_EQ(DrawingHelper::SaveHdc2Bitmap(nullptr, path.c_str()), 0);
    EXPECT_EQ(DrawingHelper::SaveHdc2Bitmap(dc, (path + L"\\missing\\x.bmp").c_str()), 0);
    DeleteDC(dc);
}

}  // namespace
