#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "PictureSamples.h"
#include "WorkerThread.h"
#include "foundation/Errors.h"
#include "imaging/Picture.h"

namespace {

using Bytes = std::vector<unsigned char>;

TEST(PictureTest, FromPixelsReadsEveryPackedFormat) {
    struct Case {
        char const* name;
        int bits;
        Bytes row;
        std::vector<std::uint32_t> expected;
    } const cases[] = {
        {"3-3-2",
         8,
         {0x00, 0xFF, 0xE0, 0x1C, 0x03, 0x49},
         {Opaque(0), Opaque(0xFFFFFF), Opaque(0xFF0000), Opaque(0x00FF00), Opaque(0x0000FF),
          Opaque(0x484855)}},
        {"5-6-5",
         16,
         {0x00, 0x00, 0xFF, 0xFF, 0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0x10, 0x84},
         {Opaque(0), Opaque(0xFFFFFF), Opaque(0xFF0000), Opaque(0x00FF00), Opaque(0x0000FF),
          Opaque(0x848284)}},
        {"B, G, R", 24, {0x10, 0x20, 0x30, 0xFF, 0x00, 0x7F}, {Opaque(0x302010), Opaque(0x7F00FF)}},
        {"B, G, R, A", 32, {1, 2, 3, 0x80, 4, 5, 6, 0}, {0x80030201, 0x00060504}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        // Two rows with three bytes of padding between them.
        Bytes rows = c.row;
        rows.insert(rows.end(), {0xEE, 0xEE, 0xEE});
        rows.insert(rows.end(), c.row.begin(), c.row.end());
        int width = static_cast<int>(c.expected.size());
        Picture picture = Picture::FromPixels(rows.data(), width, 2, c.bits, c.row.size() + 3);
        ASSERT_EQ(picture.GetWidth(), width);
        ASSERT_EQ(picture.GetHeight(), 2);
        Bytes bgr;
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < width; ++x) {
                EXPECT_EQ(picture.GetPixels()[y * width + x], c.expected[x]) << "pixel " << x << ", " << y;
                for (int channel = 0; channel < 3; ++channel) {
                    bgr.push_back(static_cast<unsigned char>(Channel(c.expected[x], channel)));
                }
            }
        }
        EXPECT_EQ(picture.GetBgr24(), bgr);
    }

    Bytes pixels(64, 0);
    EXPECT_THROW(Picture::FromPixels(pixels.data(), 2, 2, 12, 8), BaseError);
    EXPECT_THROW(Picture::FromPixels(pixels.data(), 4, 2, 24, 11), BaseError);
    EXPECT_THROW(Picture::FromPixels(pixels.data(), 0, 2, 24, 12), BaseError);
    EXPECT_THROW(Picture::FromPixels(pixels.data(), 2, -1, 24, 12), BaseError);
    EXPECT_THROW(Picture::FromPixels(nullptr, 2, 2, 24, 6), BaseError);
    EXPECT_THROW(Picture::FromPixels(pixels.data(), 20000, 1, 8, 20000), BaseError);
}

TEST(PictureTest, ResampleGivesTheSizeAskedForAndAveragesWhereItShrinks) {
    for (SIZE from : {SIZE{64, 48}, SIZE{7, 5}, SIZE{1, 1}}) {
        for (SIZE to : {SIZE{9, 6}, SIZE{10, 10}, SIZE{3, 11}, SIZE{1, 1}}) {
            Picture resampled = ScreenLike(from.cx, from.cy).Resample(to.cx, to.cy);
            EXPECT_EQ(resampled.GetWidth(), to.cx);
            EXPECT_EQ(resampled.GetHeight(), to.cy);
        }
    }

    // A one-pixel checkerboard shrinks to grey; picking pixels would keep black or white.
    Picture board = Checkerboard(32, 32, Opaque(0), Opaque(0xFFFFFF));
    struct Case {
        int side;
        std::uint32_t lowest;
        std::uint32_t highest;
    } const cases[] = {{16, 127, 128}, {11, 105, 150}};
    for (Case const& c : cases) {
        SCOPED_TRACE(c.side);
        Picture grey = board.Resample(c.side, c.side);
        for (int i = 0; i < c.side * c.side; ++i) {
            for (int channel = 0; channel < 3; ++channel) {
                EXPECT_GE(Channel(grey.GetPixels()[i], channel), c.lowest);
                EXPECT_LE(Channel(grey.GetPixels()[i], channel), c.highest);
            }
            EXPECT_EQ(grey.GetPixels()[i] >> 24, 0xFFu);
        }
    }

    // Growing interpolates: black to white becomes a ramp.
    Picture pair = Checkerboard(2, 1, Opaque(0), Opaque(0xFFFFFF));
    Picture ramp = pair.Resample(8, 1);
    EXPECT_EQ(ramp.GetPixels()[0], Opaque(0));
    EXPECT_EQ(ramp.GetPixels()[7], Opaque(0xFFFFFF));
    for (int x = 1; x < 8; ++x) {
        EXPECT_GE(Channel(ramp.GetPixels()[x], 1), Channel(ramp.GetPixels()[x - 1], 1));
    }
    EXPECT_GT(Channel(ramp.GetPixels()[3], 1), 0u);
    EXPECT_LT(Channel(ramp.GetPixels()[3], 1), 255u);

    // A transparent pixel's colour does not bleed into its opaque neighbour.
    Picture edge = Checkerboard(2, 1, 0x00FF0000, Opaque(0x0000FF));
    std::uint32_t mixed = edge.Resample(1, 1).GetPixels()[0];
    EXPECT_EQ(mixed & 0xFFFFFF, 0x0000FFu);
    EXPECT_NEAR(static_cast<int>(mixed >> 24), 128, 1);

    EXPECT_THROW(board.Resample(0, 5), BaseError);
    EXPECT_THROW(board.Resample(5, 20000), BaseError);
    EXPECT_THROW(Picture().Resample(5, 5), BaseError);
}

TEST(PictureTest, ThresholdAndSixteenColoursMapEachPixel) {
    struct Case {
        std::uint32_t pixel;
        std::uint32_t threshold185;  // black or white at level 185
        std::uint32_t vga;           // the nearest of the 16 colours
    } const cases[] = {
        {Opaque(0xFFFFFF), Opaque(0xFFFFFF), Opaque(0xFFFFFF)},
        {Opaque(0xBABABA), Opaque(0xFFFFFF), Opaque(0xC0C0C0)},  // luminance 186
        {Opaque(0xB9B9B9), Opaque(0x000000), Opaque(0xC0C0C0)},  // luminance 185
        {Opaque(0xFFFF00), Opaque(0xFFFFFF), Opaque(0xFFFF00)},
        {Opaque(0xFA0A0A), Opaque(0x000000), Opaque(0xFF0000)},
        {Opaque(0x646464), Opaque(0x000000), Opaque(0x808080)},
        {Opaque(0x00007A), Opaque(0x000000), Opaque(0x000080)},
        {0x40C8C8C8, 0x40FFFFFF, 0x40C0C0C0},  // alpha is kept
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.pixel);
        Picture two = Checkerboard(1, 1, c.pixel, c.pixel);
        two.Threshold(185);
        EXPECT_EQ(two.GetPixels()[0], c.threshold185);
        Picture sixteen = Checkerboard(1, 1, c.pixel, c.pixel);
        sixteen.ReduceTo16Colours();
        EXPECT_EQ(sixteen.GetPixels()[0], c.vga);
    }

    // A reduced screen is a small indexed PNG; a thresholded one has one bit per pixel.
    Picture reduced = ScreenLike(64, 48);
    reduced.ReduceTo16Colours();
    std::set<std::uint32_t> colours(reduced.GetPixels(), reduced.GetPixels() + 64 * 48);
    EXPECT_LE(colours.size(), 16u);
    EXPECT_GT(colours.size(), 3u);
    Bytes png = reduced.Encode(Picture::Format::Png);
    EXPECT_EQ(png[24], 4);
    Picture black = ScreenLike(64, 48);
    black.Threshold(185);
    EXPECT_EQ(black.Encode(Picture::Format::Png)[24], 1);
}

// A memory context holding a 32 x 32 bitmap filled with one colour.
class MemoryContext {
public:
    explicit MemoryContext(COLORREF background) {
        HDC screen = GetDC(nullptr);
        mDc = CreateCompatibleDC(screen);
        mBitmap = CreateCompatibleBitmap(screen, 32, 32);
        ReleaseDC(nullptr, screen);
        mOld = SelectObject(mDc, mBitmap);
        HBRUSH brush = CreateSolidBrush(background);
        RECT all = {0, 0, 32, 32};
        FillRect(mDc, &all, brush);
        DeleteObject(brush);
    }
    ~MemoryContext() {
        SelectObject(mDc, mOld);
        DeleteObject(mBitmap);
        DeleteDC(mDc);
    }
    HDC Dc() const { return mDc; }
    HBITMAP Bitmap() const { return mBitmap; }
    // The bitmap's pixels as 0xRRGGBB, top-down.
    std::vector<std::uint32_t> Pixels() const {
        BITMAPINFO info = {};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), 32, -32, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        std::vector<std::uint32_t> pixels(32 * 32);
        GdiFlush();
        EXPECT_EQ(GetDIBits(mDc, mBitmap, 0, 32, pixels.data(), &info, DIB_RGB_COLORS), 32);
        for (std::uint32_t& pixel : pixels) {
            pixel &= 0xFFFFFF;
        }
        return pixels;
    }

private:
    HDC mDc;
    HBITMAP mBitmap;
    HGDIOBJ mOld;
};

TEST(PictureTest, DrawsIntoAContextAndReadsTheBitmapBack) {
    MemoryContext context(RGB(0x11, 0x22, 0x33));
    Picture tile(4, 4);
    for (int i = 0; i < 16; ++i) {
        tile.GetPixels()[i] = Opaque(static_cast<std::uint32_t>(i % 4 * 60) << 16 | (i / 4 * 60) << 8 | 0x99);
    }
    tile.Draw(context.Dc(), 5, 6);
    SetStretchBltMode(context.Dc(), COLORONCOLOR);
    tile.Draw(context.Dc(), RECT{20, 12, 28, 20});  // twice the size
    Picture().Draw(context.Dc(), 0, 0);             // draws nothing

    std::vector<std::uint32_t> pixels = context.Pixels();
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            std::uint32_t expected = 0x112233;
            if (x >= 5 && x < 9 && y >= 6 && y < 10) {
                expected = tile.GetPixels()[(y - 6) * 4 + x - 5] & 0xFFFFFF;
            } else if (x >= 20 && x < 28 && y >= 12 && y < 20) {
                expected = tile.GetPixels()[(y - 12) / 2 * 4 + (x - 20) / 2] & 0xFFFFFF;
            }
            ASSERT_EQ(pixels[y * 32 + x], expected) << "at " << x << ", " << y;
        }
    }

    // The bitmap is still selected into the context: it reads back all the same, opaque.
    Picture copy = Picture::FromBitmap(context.Bitmap());
    ASSERT_EQ(copy.GetWidth(), 32);
    for (int i = 0; i < 32 * 32; ++i) {
        ASSERT_EQ(copy.GetPixels()[i], Opaque(pixels[i]));
    }
    EXPECT_THROW(Picture::FromBitmap(nullptr), BaseError);
}

// Runs `work` on a new thread and waits for it with a time-out.
void OnNewThread(std::function<void()> work) {
    WorkerThread thread(std::move(work));
    if (!thread.Join(60000)) {
        thread.Detach();
        FAIL() << "the thread did not finish";
    }
}

void EncodeAndDecode(int rounds) {
    Picture picture = ScreenLike(48, 40);
    for (int i = 0; i < rounds; ++i) {
        Bytes png = picture.Encode(Picture::Format::Png);
        Bytes jpeg = picture.Encode(Picture::Format::Jpeg, 80);
        EXPECT_TRUE(SamePixels(Picture::Decode(png.data(), png.size()), picture));
        EXPECT_EQ(Picture::Decode(jpeg.data(), jpeg.size()).GetWidth(), 48);
    }
}

TEST(PictureTest, WorksOnAnyThreadAndLeavesItsApartmentAsItWas) {
    struct Case {
        char const* name;
        bool initialise;
        DWORD model;
        HRESULT
        askingForSta;  // afterwards: S_OK no apartment, S_FALSE single-, RPC_E_CHANGED_MODE multithreaded
    } const cases[] = {
        {"no COM", false, 0, S_OK},
        {"single-threaded", true, COINIT_APARTMENTTHREADED, S_FALSE},
        {"multithreaded", true, COINIT_MULTITHREADED, RPC_E_CHANGED_MODE},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        HRESULT probe = E_FAIL;
        OnNewThread([&] {
            if (c.initialise) {
                ASSERT_EQ(CoInitializeEx(nullptr, c.model), S_OK);
            }
            EncodeAndDecode(1);
            probe = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            if (SUCCEEDED(probe)) {
                CoUninitialize();
            }
            if (c.initialise) {
                CoUninitialize();
            }
        });
        EXPECT_EQ(probe, c.askingForSta);
    }

    std::vector<WorkerThread> workers;
    for (int i = 0; i < 4; ++i) {
        workers.emplace_back([] { EncodeAndDecode(5); });
    }
    for (WorkerThread& worker : workers) {
        ASSERT_TRUE(worker.Join(60000));
    }
}

}  // namespace
