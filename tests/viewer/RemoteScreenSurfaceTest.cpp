#include <gtest/gtest.h>

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

// Pixel (x, y) of a snapshot.
inline COLORREF PixelAt(Picture const& picture, int x, int y) {
    std::uint32_t value = picture.GetPixels()[std::size_t(y) * picture.GetWidth() + x];
    return RGB(value >> 16 & 0xFF, value >> 8 & 0xFF, value & 0xFF);
}

// Paints the whole surface in one colour.
inline void FillSurface(RemoteScreenSurface& surface, COLORREF colour) {
    RemoteScreenSurface::Reader reader(surface);
    RECT const all = {0, 0, reader.GetSize().cx, reader.GetSize().cy};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(reader.GetDC(), &all, brush);
    DeleteObject(brush);
}

// True when `region` (deleted here) holds exactly the union of `rects`.
inline bool RegionIs(HRGN region, std::vector<RECT> const& rects) {
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

// The first pixel of `picture` whose colour is not `colour`, as "x,y"; "" when none.
std::string OddPixel(Picture const& picture, COLORREF colour) {
    for (int y = 0; y < picture.GetHeight(); ++y) {
        for (int x = 0; x < picture.GetWidth(); ++x) {
            if (PixelAt(picture, x, y) != colour) {
                return std::to_string(x) + "," + std::to_string(y);
            }
        }
    }
    return "";
}

HRGN Draw(RemoteScreenSurface& surface, Bytes const& packet, int bytesPerPixel) {
    return surface.DrawPacket(packet.data(), static_cast<unsigned long>(packet.size()), bytesPerPixel);
}

// The context follows the frame size: made anew (black) when the size changes, kept when it
// does not, refused (and the old one kept) for sizes no frame has. Only the depths of the
// packets (1 to 3 bytes) draw.
TEST(RemoteScreenSurfaceTest, ResizeFollowsTheFrameSize) {
    RemoteScreenSurface surface;
    Bytes packet = NewPacket(1);
    AppendRecord(packet, RECT{15, 5, 25, 15}, Bytes(400, 0xFF));
    EXPECT_EQ(Draw(surface, packet, 3), nullptr) << "no context yet";
    EXPECT_TRUE(surface.Snapshot().IsEmpty());
    EXPECT_FALSE(surface.CopyTo(GetDC(nullptr), RECT{0, 0, 1, 1}));
    for (SIZE size :
         {SIZE{0, 10}, SIZE{10, 0}, SIZE{-5, 10}, SIZE{16385, 10}, SIZE{10, 16385}, SIZE{16384, 16384}}) {
        EXPECT_FALSE(surface.Resize(size)) << size.cx << "x" << size.cy;
    }
    EXPECT_EQ(surface.GetSize().cx, 0);

    ASSERT_TRUE(surface.Resize(SIZE{40, 30}));
    FillSurface(surface, RGB(200, 0, 0));
    ASSERT_TRUE(surface.Resize(SIZE{40, 30}));
    EXPECT_EQ(OddPixel(surface.Snapshot(), RGB(200, 0, 0)), "");
    EXPECT_TRUE(surface.Resize(SIZE{16384, 2}));
    ASSERT_TRUE(surface.Resize(SIZE{20, 10}));
    Picture picture = surface.Snapshot();
    EXPECT_EQ(picture.GetWidth(), 20);
    EXPECT_EQ(picture.GetHeight(), 10);
    EXPECT_EQ(OddPixel(picture, RGB(0, 0, 0)), "");
    for (int depth : {0, 4}) {
        EXPECT_TRUE(RegionIs(Draw(surface, packet, depth), {})) << depth;
    }
    EXPECT_EQ(OddPixel(surface.Snapshot(), RGB(0, 0, 0)), "");
    EXPECT_TRUE(RegionIs(Draw(surface, packet, 3), {RECT{15, 5, 20, 10}}));
    EXPECT_FALSE(surface.Resize(SIZE{0, 0}));
    EXPECT_EQ(surface.GetSize().cx, 20);
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
    EXPECT_TRUE(RegionIs(before.Make(), {})) << "no context yet";
    ASSERT_TRUE(surface.Resize(SIZE{20, 10}));
    ChangedRegion changed;
    for (RECT rect : {RECT{2, 2, 6, 5}, RECT{18, 8, 22, 11}, RECT{30, 0, 34, 3}}) {
        surface.DrawPicture(green, rect, changed);
    }
    EXPECT_TRUE(RegionIs(changed.Make(), {RECT{2, 2, 6, 5}, RECT{18, 8, 20, 10}}));
    Picture picture = surface.Snapshot();
    EXPECT_EQ(PixelAt(picture, 2, 2), RGB(0, 0xC0, 0));
    EXPECT_EQ(PixelAt(picture, 5, 4), RGB(0, 0xC0, 0));
    EXPECT_EQ(PixelAt(picture, 6, 4), RGB(0, 0, 0));
    EXPECT_EQ(PixelAt(picture, 19, 9), RGB(0, 0xC0, 0));
}

// While another thread draws whole frames of one colour row by row, every copy a reader takes
// (a snapshot, or its own look through a Reader) shows one frame, never two halves.
TEST(RemoteScreenSurfaceTest, ReadersSeeWholeFrames) {
    SIZE const size = {256, 128};
    RemoteScreenSurface surface;
    ASSERT_TRUE(surface.Resize(size));
    std::vector<Bytes> frames;
    for (unsigned char blue : {10, 250}) {
        Bytes frame = NewPacket(std::uint32_t(size.cy)), row;
        for (long x = 0; x < size.cx; ++x) {
            row.insert(row.end(), {blue, 40, static_cast<unsigned char>(260 - blue)});
        }
        for (long y = 0; y < size.cy; ++y) {
            AppendRecord(frame, RECT{0, y, size.cx, y + 1}, row);
        }
        frames.push_back(frame);
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
        Picture picture = surface.Snapshot();
        EXPECT_EQ(OddPixel(picture, PixelAt(picture, 0, 0)), "");
        RemoteScreenSurface::Reader reader(surface);
        COLORREF const top = GetPixel(reader.GetDC(), 0, 0);
        Sleep(1);  // time for a drawer that does not wait
        EXPECT_EQ(GetPixel(reader.GetDC(), size.cx - 1, size.cy - 1), top);
    }
    stop = true;
    drawer.Join();
    EXPECT_GT(drawn, before) << "frames were drawn while the copies were taken";
}

// The bytes placed so that they end where a page that may not be read begins: a walk that
// reads past the packet faults.
class GuardedBytes {
public:
    explicit GuardedBytes(Bytes const& bytes) {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        std::size_t page = system.dwPageSize, span = (bytes.size() + page) / page * page;
        mBase = static_cast<unsigned char*>(
            VirtualAlloc(nullptr, span + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(mBase + span, page, PAGE_NOACCESS, &old);
        mData = mBase + span - bytes.size();
        std::memcpy(mData, bytes.data(), bytes.size());
    }
    ~GuardedBytes() { VirtualFree(mBase, 0, MEM_RELEASE); }
    unsigned char const* Data() const { return mData; }

private:
    unsigned char* mBase;
    unsigned char* mData;
};

SIZE const kSurface = {64, 48};
COLORREF const kUnpainted = RGB(1, 2, 3);

// The test's own walk: what the surface should show and which areas were painted.
struct Expected {
    std::vector<COLORREF> pixels = std::vector<COLORREF>(std::size_t(kSurface.cx * kSurface.cy), kUnpainted);
    std::vector<RECT> painted;

    void Walk(Bytes const& packet, int bytesPerPixel) {
        std::size_t size = packet.size(), at = 4;
        std::uint32_t count = 0;
        std::memcpy(&count, packet.data(), size >= 4 ? 4 : 0);
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

// A packet with a few records near and beyond the surface's edges, some reversed or claiming
// far more pixels than follow, a count that may disagree, and sometimes cut short anywhere.
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
        for (unsigned char& byte : pixels) {
            byte = static_cast<unsigned char>(random());
        }
        AppendRecord(packet, rect, pixels);
    }
    if (below(5) == 0) {
        packet.resize(std::size_t(below(unsigned(packet.size()) + 1)));
    }
    return packet;
}

// Random packets drawn through the surface show exactly what the test's own walk paints (in
// order, clipped to the surface, ended by a cut-off header or pixels, reversed edges or a size
// that only fits in 32 bits), with the union of exactly those areas as the region; they never
// read past the packet and raise nothing but the library's errors.
TEST(PacketDrawingFuzzTest, RandomPacketsDrawOnlyWhatTheyHold) {
    RemoteScreenSurface surface;
    ASSERT_TRUE(surface.Resize(kSurface));
    for (unsigned seed = 1; seed <= 12000; ++seed) {
        std::mt19937 random(seed);
        int bytesPerPixel = 1 + int(random() % 3);
        Bytes const packet = RandomPacket(random, bytesPerPixel);
        SCOPED_TRACE("seed " + std::to_string(seed));
        GuardedBytes guarded(packet);
        FillSurface(surface, kUnpainted);
        HRGN region = nullptr;
        try {
            region =
                surface.DrawPacket(guarded.Data(), static_cast<unsigned long>(packet.size()), bytesPerPixel);
        } catch (BaseError const&) {
        }
        Expected expected;
        expected.Walk(packet, bytesPerPixel);
        ASSERT_TRUE(RegionIs(region, expected.painted));
        Picture picture = surface.Snapshot();
        int wrong = 0;
        for (long y = 0; y < kSurface.cy; ++y) {
            for (long x = 0; x < kSurface.cx; ++x) {
                wrong += PixelAt(picture, x, y) != expected.pixels[std::size_t(y * kSurface.cx + x)];
            }
        }
        ASSERT_EQ(wrong, 0);
    }
}

// The region of a packet's rectangles is made at once: one union per rectangle took 15.5 s for
// this checkerboard of 80,000 pixels (67 s for twice as many). The region holds exactly the
// squares painted; the bound leaves room for a loaded machine.
TEST(DrawingHelperTest, ManyRectanglesMakeTheirRegionQuickly) {
    int const side = 400;
    RemoteScreenSurface surface;
    ASSERT_TRUE(surface.Resize(SIZE{side, side}));
    FillSurface(surface, RGB(1, 2, 3));
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
    ASSERT_EQ(header->rdh.nCount, DWORD(side * side / 2));
    auto const* rects = reinterpret_cast<RECT const*>(header->Buffer);
    int misplaced = 0;
    for (DWORD i = 0; i < header->rdh.nCount; ++i) {
        RECT const& r = rects[i];
        misplaced += r.right - r.left != 1 || r.bottom - r.top != 1 || (r.left + r.top) % 2 != 0;
    }
    EXPECT_EQ(misplaced, 0);
    Picture const picture = surface.Snapshot();
    EXPECT_EQ(PixelAt(picture, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(picture, 1, 0), RGB(1, 2, 3));
    EXPECT_EQ(PixelAt(picture, side - 1, side - 1), RGB(255, 0, 0));
}

TEST(DrawingHelperTest, StretchedRegion) {
    HRGN region = CreateRectRgn(0, 0, 10, 10);
    HRGN second = CreateRectRgn(20, 0, 30, 4);
    CombineRgn(region, region, second, RGN_OR);
    DeleteObject(second);
    EXPECT_TRUE(RegionIs(DrawingHelper::CreateStretchRgn(region, 2.0f, 0.5f, 5, 7),
                         {RECT{5, 7, 25, 12}, RECT{45, 7, 65, 9}}));
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

// The file and information headers for DIB sections with masks, with none and with a palette;
// the pixels as GetDIBits gives them, bottom row first.
TEST(DrawingHelperTest, SavedBitmapHeadersFollowTheBitmapsDepth) {
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
        HGDIOBJ previous = SelectObject(dc, bitmap);
        SetPixel(dc, 0, 0, RGB(255, 255, 255));
        ASSERT_EQ(DrawingHelper::SaveHdc2Bitmap(dc, path.c_str()), 1);
        std::string const file = ReadWholeFile(folder.File("saved.bmp"));
        std::uint32_t header = 40 + (bits == 16 || bits == 32 ? 12 : bits <= 8 ? 4u << bits : 0);
        std::uint32_t stride = (5 * bits + 31) / 32 * 4;
        ASSERT_GE(file.size(), 54u);
        EXPECT_EQ(file.substr(0, 2), "BM");
        EXPECT_EQ(file.size(), 14 + header + 3 * stride);
        EXPECT_EQ(U32(file, 2), file.size());
        EXPECT_EQ(U32(file, 10), 14 + header);
        EXPECT_EQ(U32(file, 26), std::uint32_t(bits) << 16 | 1);  // bits and planes
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
