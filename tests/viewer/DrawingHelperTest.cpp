#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "../capture/CapturePackets.h"
#include "SurfacePixels.h"
#include "TempFolder.h"
#include "foundation/StringHelper.h"
#include "foundation/Timer.h"
#include "viewer/DrawingHelper.h"

namespace {

using Bytes = std::vector<unsigned char>;

COLORREF const kUnpainted = RGB(1, 2, 3);

// Every 3-3-2 value comes out as the palette says. A rectangle partly off the surface shows its
// own pixels in the part on it; one without enough bytes, with another depth or without a
// context paints nothing. (Packets, at every depth, are the randomized test's.)
TEST(DrawingHelperTest, PaletteAndSingleRectangles) {
    RemoteScreenSurface surface;
    ASSERT_TRUE(surface.Resize(SIZE{20, 16}));
    FillSurface(surface, kUnpainted);
    Bytes all(256);
    for (int i = 0; i < 256; ++i) {
        all[i] = static_cast<unsigned char>(i);
    }
    RECT rect = {0, 0, 16, 16};
    DrawingHelper::DrawSingleRectangle(surface.GetDC(), &rect, all.data(), 256, 1);
    Picture picture = surface.Snapshot();
    for (int i = 0; i < 256; ++i) {
        SCOPED_TRACE("3-3-2 value " + std::to_string(i));
        EXPECT_EQ(DescribeColour(PixelAt(picture, i % 16, i / 16)),
                  DescribeColour(ExpandedColour(&all[i], 1)));
    }
    EXPECT_EQ(PixelAt(picture, 15, 15), RGB(255, 255, 255)) << "0xFF";
    EXPECT_EQ(PixelAt(picture, 0xDB % 16, 0xDB / 16), RGB(192, 192, 192)) << "0xDB";
    EXPECT_EQ(PixelAt(picture, 1, 0), RGB(15, 15, 95)) << "0x01";
    EXPECT_EQ(PixelAt(picture, 16, 0), kUnpainted);

    FillSurface(surface, kUnpainted);
    Bytes pixels;  // 4 x 4, blue = index
    for (int i = 0; i < 16; ++i) {
        pixels.insert(pixels.end(), {static_cast<unsigned char>(i), 0, 0});
    }
    rect = {-2, -3, 2, 1};
    DrawingHelper::DrawSingleRectangle(surface.GetDC(), &rect, pixels.data(), 48, 3);
    rect = {10, 10, 14, 14};
    DrawingHelper::DrawSingleRectangle(surface.GetDC(), &rect, pixels.data(), 47, 3);
    DrawingHelper::DrawSingleRectangle(surface.GetDC(), &rect, pixels.data(), 64, 4);
    DrawingHelper::DrawSingleRectangle(nullptr, &rect, pixels.data(), 48, 3);
    picture = surface.Snapshot();
    EXPECT_EQ(PixelAt(picture, 0, 0), RGB(0, 0, 14));
    EXPECT_EQ(PixelAt(picture, 1, 0), RGB(0, 0, 15));
    EXPECT_EQ(PixelAt(picture, 2, 0), kUnpainted);
    EXPECT_EQ(PixelAt(picture, 10, 10), kUnpainted);
}

// The region of a packet's rectangles is made at once: one union per rectangle took 15.5 s for
// this checkerboard of 80,000 pixels (67 s for twice as many). The region holds exactly the
// squares painted; the bound leaves room for a loaded machine.
TEST(DrawingHelperTest, ManyRectanglesMakeTheirRegionQuickly) {
    int const side = 400;
    RemoteScreenSurface surface;
    ASSERT_TRUE(surface.Resize(SIZE{side, side}));
    FillSurface(surface, kUnpainted);
    Bytes packet = NewPacket(side * side / 2);
    for (int y = 0; y < side; ++y) {
        for (int x = y % 2; x < side; x += 2) {
            AppendRecord(packet, RECT{x, y, x + 1, y + 1}, Bytes{0, 0, 255});
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
    ASSERT_EQ(header->rdh.nCount, DWORD(side * side / 2));
    auto const* rects = reinterpret_cast<RECT const*>(header->Buffer);
    int misplaced = 0;
    for (DWORD i = 0; i < header->rdh.nCount; ++i) {
        RECT const& r = rects[i];
        misplaced += r.right - r.left != 1 || r.bottom - r.top != 1 || (r.left + r.top) % 2 != 0;
    }
    EXPECT_EQ(misplaced, 0);
    DeleteObject(region);
    Picture const picture = surface.Snapshot();
    EXPECT_EQ(PixelAt(picture, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(picture, 1, 0), kUnpainted);
    EXPECT_EQ(PixelAt(picture, side - 1, side - 1), RGB(255, 0, 0));
}

// Window areas of a packet's rectangles, moved by the offset, are invalidated and painted.
TEST(DrawRectangleToWindowTest, InvalidatesTheShiftedRectangles) {
    static HRGN painted = nullptr;
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message == WM_PAINT && painted) {
            GetUpdateRgn(window, painted, FALSE);
        }
        return DefWindowProcW(window, message, wParam, lParam);
    };
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"DrawRectangleToWindowTest";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, windowClass.lpszClassName, L"",
                                  WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    painted = CreateRectRgn(0, 0, 0, 0);
    Bytes packet = NewPacket(3);
    AppendRecord(packet, RECT{0, 0, 4, 4}, Bytes(16, 0));
    AppendRecord(packet, RECT{20, 5, 30, 6}, Bytes(10, 0));
    AppendRecord(packet, RECT{40, 0, 50, 10}, Bytes(99, 0));  // cut off: not invalidated
    DrawingHelper::DrawRectangleToWindow(window, 10, 20, packet.data(),
                                         static_cast<unsigned long>(packet.size()), 1);
    HRGN expected = RegionOf({RECT{10, 20, 14, 24}, RECT{30, 25, 40, 26}});
    EXPECT_TRUE(EqualRgn(painted, expected));
    DeleteObject(expected);
    DeleteObject(painted);
    painted = nullptr;
    DestroyWindow(window);
    UnregisterClassW(windowClass.lpszClassName, windowClass.hInstance);
}

TEST(RectangleMappingTest, DockingAndScaling) {
    struct Dock {
        RECT rect;
        int block;
        char const* expected;
    } const docks[] = {
        {{3, 5, 9, 17}, 4, "(0,4)-(12,20)"},  {{4, 8, 12, 16}, 4, "(4,8)-(12,16)"},
        {{-3, -5, 1, 1}, 4, "(-4,-8)-(4,4)"}, {{3, 5, 9, 17}, 1, "(3,5)-(9,17)"},
        {{3, 5, 9, 17}, 0, "(3,5)-(9,17)"},
    };
    for (Dock const& d : docks) {
        SCOPED_TRACE(Describe(d.rect) + " to blocks of " + std::to_string(d.block));
        RECT rect = d.rect;
        DrawingHelper::DockRect(rect, d.block, d.block);
        EXPECT_EQ(Describe(rect), d.expected);
    }

    struct Map {
        RECT source;
        SIZE from;
        SIZE to;
        char const* docked;
        char const* scaled;
    } const maps[] = {
        {{11, 10, 21, 19}, {1280, 1024}, {640, 512}, "(10,10)-(22,20)", "(5,5)-(11,10)"},
        {{0, 0, 1280, 1024}, {1280, 1024}, {640, 512}, "(0,0)-(1280,1024)", "(0,0)-(640,512)"},
        {{1, 1, 2, 2}, {1280, 1024}, {1024, 768}, "(0,0)-(5,4)", "(0,0)-(4,3)"},
        {{100, 50, 101, 51}, {1280, 1024}, {1280, 1024}, "(100,50)-(101,51)", "(100,50)-(101,51)"},
        {{40000, 2, 40001, 3},
         {65535, 65535},
         {60000, 60000},
         "(39321,0)-(43690,4369)",
         "(36000,0)-(40000,4000)"},
        {{1, 1, 2, 2}, {0, 0}, {640, 512}, "(1,1)-(2,2)", "(0,0)-(0,0)"},
    };
    for (Map const& m : maps) {
        SCOPED_TRACE(Describe(m.source) + " from " + std::to_string(m.from.cx) + " to " +
                     std::to_string(m.to.cx));
        RECT source = m.source;
        RECT target = {-1, -1, -1, -1};
        DrawingHelper::DockAndScaleRect(source, target, m.from, m.to);
        EXPECT_EQ(Describe(source), m.docked);
        EXPECT_EQ(Describe(target), m.scaled);
    }

    RECT rect = {10, 10, 15, 21};
    DrawingHelper::ScaleRect(rect, 0.5f, 1.5f);
    EXPECT_EQ(Describe(rect), "(5,15)-(7,31)");
}

TEST(RectangleMappingTest, StretchedRegion) {
    HRGN region = RegionOf({RECT{0, 0, 10, 10}, RECT{20, 0, 30, 4}});
    HRGN stretched = DrawingHelper::CreateStretchRgn(region, 2.0f, 0.5f, 5, 7);
    ASSERT_NE(stretched, nullptr);
    HRGN expected = RegionOf({RECT{5, 7, 25, 12}, RECT{45, 7, 65, 9}});
    EXPECT_TRUE(EqualRgn(stretched, expected));
    DeleteObject(expected);
    DeleteObject(stretched);
    DeleteObject(region);
    EXPECT_EQ(DrawingHelper::CreateStretchRgn(nullptr, 1, 1, 0, 0), nullptr);
}

std::uint32_t U32(std::string const& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

// The file and information headers for the surface's own depth and for DIB sections with
// masks, with none and with a palette; the pixels as GetDIBits gives them, bottom row first.
TEST(SaveHdc2BitmapTest, HeadersFollowTheBitmapsDepth) {
    TempFolder folder;
    std::wstring const path = StringHelper::StrToWstr(folder.File("saved.bmp"), false);
    HDC dc = CreateCompatibleDC(nullptr);
    for (int bits : {1, 8, 16, 24, 32}) {
        SCOPED_TRACE(std::to_string(bits) + " bits");
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD greys[256];
        } info = {{sizeof(BITMAPINFOHEADER), 5, 3, 1, WORD(bits), BI_RGB, 0, 0, 0, 0, 0}, {}};
        for (int i = 0; i < 256; ++i) {
            info.greys[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
        }
        void* pixels = nullptr;
        HBITMAP bitmap =
            CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels, nullptr, 0);
        ASSERT_NE(bitmap, nullptr);
        HGDIOBJ previous = SelectObject(dc, bitmap);
        SetPixel(dc, 0, 0, RGB(255, 255, 255));
        ASSERT_EQ(DrawingHelper::SaveHdc2Bitmap(dc, path.c_str()), 1);
        std::string const file = ReadWholeFile(folder.File("saved.bmp"));
        std::uint32_t header = 40 + (bits == 16 || bits == 32 ? 12 : bits <= 8 ? 4u << bits : 0);
        std::uint32_t stride = (5 * bits + 31) / 32 * 4;
        ASSERT_GE(file.size(), 54u);
        EXPECT_EQ(file.substr(0, 2), "BM");
        EXPECT_EQ(U32(file, 2), file.size());
        EXPECT_EQ(U32(file, 2), 14 + header + 3 * stride);
        EXPECT_EQ(U32(file, 10), 14 + header);
        EXPECT_EQ(U32(file, 14), 40u);
        EXPECT_EQ(U32(file, 18), 5u);
        EXPECT_EQ(U32(file, 22), 3u);
        EXPECT_EQ(U32(file, 28) & 0xFFFF, std::uint32_t(bits));
        EXPECT_EQ(U32(file, 30), bits == 16 || bits == 32 ? std::uint32_t(BI_BITFIELDS) : BI_RGB);
        EXPECT_EQ(static_cast<unsigned char>(file[14 + header]), 0) << "bottom row first";
        EXPECT_NE(static_cast<unsigned char>(file[14 + header + 2 * stride]), 0) << "top row last";
        SelectObject(dc, previous);
        DeleteObject(bitmap);
    }
    EXPECT_EQ(DrawingHelper::SaveHdc2Bitmap(nullptr, path.c_str()), 0);
    EXPECT_EQ(DrawingHelper::SaveHdc2Bitmap(dc, (path + L"\\missing\\x.bmp").c_str()), 0);
    DeleteDC(dc);
}

}  // namespace
