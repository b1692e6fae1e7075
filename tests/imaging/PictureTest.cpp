#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <random>
#include <string>
#include <vector>

#include "../ErrorText.h"
#include "PictureSamples.h"
#include "TempFolder.h"
#include "WorkerThread.h"
#include "foundation/Errors.h"
#include "foundation/StringHelper.h"
#include "imaging/Picture.h"

namespace {

// A 24-bit BMP, rows bottom-up and padded to four bytes, as most writers make them.
Bytes Bmp24(int width, int height, std::uint32_t rgb) {
    int stride = (width * 3 + 3) / 4 * 4;
    Bytes out = {'B', 'M'};
    for (std::uint32_t field :
         {54u + stride * height, 0u, 54u, 40u, std::uint32_t(width), std::uint32_t(height)}) {
        Put(out, field, 4);
    }
    Put(out, 1 | 24 << 16, 4);  // planes, bits
    out.resize(out.size() + 24);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Put(out, rgb, 3);
        }
        out.resize(out.size() + stride - width * 3);
    }
    return out;
}

// A 1 x 1 GIF whose one pixel is palette entry 0: red 0x12, green 0x34, blue 0x56.
Bytes TinyGif() {
    return {'G', 'I',  'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0x12, 0x34, 0x56, 0,   0,
            0,   0x2C, 0,   0,   0,   0,   1, 0, 1, 0, 0,    2, 2, 0x44, 0x01, 0,    0x3B};
}

Bytes Cut(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

Picture Flat(int width, int height, std::uint32_t pixel) {
    return Checkerboard(width, height, pixel, pixel);
}

TEST(PictureTest, FromPixelsReadsEveryPackedFormat) {
    struct Case {
        int bits;
        Bytes row;
        std::vector<std::uint32_t> expected;
    } const cases[] = {
        {8, {0x00, 0xFF, 0xE0, 0x1C, 0x03, 0x49}, {0, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0x484855}},
        {16,
         {0x00, 0x00, 0xFF, 0xFF, 0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0x10, 0x84},
         {0, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0x848284}},
        {24, {0x10, 0x20, 0x30, 0xFF, 0x00, 0x7F}, {0x302010, 0x7F00FF}},
        {32, {1, 2, 3, 0x80, 4, 5, 6, 0}, {0x80030201, 0x00060504}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.bits);
        // Two rows with three bytes of padding between them.
        Bytes rows = c.row;
        rows.insert(rows.end(), {0xEE, 0xEE, 0xEE});
        rows.insert(rows.end(), c.row.begin(), c.row.end());
        int width = static_cast<int>(c.expected.size());
        Picture picture = Picture::FromPixels(rows.data(), width, 2, c.bits, c.row.size() + 3);
        ASSERT_EQ(picture.GetWidth(), width);
        ASSERT_EQ(picture.GetHeight(), 2);
        Bytes bgr;
        for (int i = 0; i < 2 * width; ++i) {
            std::uint32_t expected = c.bits == 32 ? c.expected[i % width] : Opaque(c.expected[i % width]);
            EXPECT_EQ(picture.GetPixels()[i], expected) << "pixel " << i;
            Put(bgr, expected, 3);
        }
        EXPECT_EQ(picture.GetBgr24(), bgr);
    }
    Bytes pixels(64, 0);
    EXPECT_THROW(Picture::FromPixels(pixels.data(), 2, 2, 12, 8), BaseError);
    EXPECT_THROW(Picture::FromPixels(pixels.data(), 4, 2, 24, 11), BaseError);
    EXPECT_THROW(Picture::FromPixels(pixels.data(), 2, 0, 24, 12), BaseError);
    EXPECT_THROW(Picture::FromPixels(nullptr, 2, 2, 24, 6), BaseError);
    EXPECT_THROW(Picture::FromPixels(pixels.data(), 20000, 1, 8, 20000), BaseError);
}

TEST(PictureTest, ResampleGivesTheSizeAskedForAndAveragesWhereItShrinks) {
    // A one-pixel checkerboard shrinks to grey; picking pixels would keep black or white.
    Picture grey = Checkerboard(32, 32, Opaque(0), Opaque(0xFFFFFF)).Resample(11, 7);
    ASSERT_EQ(grey.GetWidth(), 11);
    ASSERT_EQ(grey.GetHeight(), 7);
    for (int i = 0; i < 11 * 7; ++i) {
        EXPECT_NEAR(static_cast<int>(Channel(grey.GetPixels()[i], i % 3)), 128, 23);
        EXPECT_EQ(grey.GetPixels()[i] >> 24, 0xFFu);
    }
    // Growing interpolates: black to white becomes a ramp.
    Picture ramp = Checkerboard(2, 1, Opaque(0), Opaque(0xFFFFFF)).Resample(8, 1);
    ASSERT_EQ(ramp.GetWidth(), 8);
    EXPECT_EQ(ramp.GetPixels()[0], Opaque(0));
    EXPECT_EQ(ramp.GetPixels()[7], Opaque(0xFFFFFF));
    for (int x = 1; x < 8; ++x) {
        EXPECT_GE(Channel(ramp.GetPixels()[x], 1), Channel(ramp.GetPixels()[x - 1], 1));
    }
    EXPECT_NEAR(static_cast<int>(Channel(ramp.GetPixels()[3], 1)), 128, 100);
    // A transparent pixel's colour does not bleed into its opaque neighbour.
    std::uint32_t mixed = Checkerboard(2, 1, 0x00FF0000, Opaque(0x0000FF)).Resample(1, 1).GetPixels()[0];
    EXPECT_EQ(mixed & 0xFFFFFF, 0x0000FFu);
    EXPECT_NEAR(static_cast<int>(mixed >> 24), 128, 1);
    EXPECT_THROW(grey.Resample(0, 5), BaseError);
    EXPECT_THROW(Picture().Resample(5, 5), BaseError);
}

TEST(PictureTest, ThresholdAndSixteenColoursMapEachPixel) {
    struct Case {
        std::uint32_t pixel;
        std::uint32_t threshold185;  // black or white at level 185
        std::uint32_t vga;           // the nearest of the 16 colours
    } const cases[] = {
        {Opaque(0xBABABA), Opaque(0xFFFFFF), Opaque(0xC0C0C0)},  // luminance 186
        {Opaque(0xB9B9B9), Opaque(0x000000), Opaque(0xC0C0C0)},  // luminance 185
        {Opaque(0xFA0A0A), Opaque(0x000000), Opaque(0xFF0000)},
        {Opaque(0x646464), Opaque(0x000000), Opaque(0x808080)},
        {0x40C8C8C8, 0x40FFFFFF, 0x40C0C0C0},  // alpha is kept
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.pixel);
        Picture two = Flat(1, 1, c.pixel), sixteen = Flat(1, 1, c.pixel);
        two.Threshold(185);
        sixteen.ReduceTo16Colours();
        EXPECT_EQ(two.GetPixels()[0], c.threshold185);
        EXPECT_EQ(sixteen.GetPixels()[0], c.vga);
    }
}

// Whatever the thread's COM apartment (none, single- or multithreaded), coding works and the
// apartment is left as it was: asking for a single-threaded one afterwards says so.
TEST(PictureTest, WorksOnAnyThreadAndLeavesItsApartmentAsItWas) {
    Picture const picture = ScreenLike(48, 40);
    Bytes const png = picture.Encode(Picture::Format::Png);
    struct Case {
        DWORD model;  // -1: no COM
        HRESULT askingForSta;
    } const cases[] = {
        {DWORD(-1), S_OK}, {COINIT_APARTMENTTHREADED, S_FALSE}, {COINIT_MULTITHREADED, RPC_E_CHANGED_MODE}};
    for (Case const& c : cases) {
        SCOPED_TRACE(c.model);
        HRESULT probe = E_FAIL;
        bool same = false;
        WorkerThread thread([&] {
            bool const com = c.model != DWORD(-1) && CoInitializeEx(nullptr, c.model) == S_OK;
            same = SamePixels(Picture::Decode(png.data(), png.size()), picture) &&
                   picture.Encode(Picture::Format::Png) == png;
            probe = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            for (int i = SUCCEEDED(probe) + com; i > 0; --i) {
                CoUninitialize();
            }
        });
        ASSERT_TRUE(thread.Join(60000));
        EXPECT_TRUE(same);
        EXPECT_EQ(probe, c.askingForSta);
    }
}

TEST(PictureCodingTest, PngKeepsEveryPixelInTheSmallestExactForm) {
    std::uint32_t const vga[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                   0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                   0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    Picture sixteen(33, 5), seventeen(33, 5), translucent = ScreenLike(20, 9);
    for (int i = 0; i < 33 * 5; ++i) {
        sixteen.GetPixels()[i] = Opaque(vga[i % 16]);
        seventeen.GetPixels()[i] = Opaque(i % 17 == 16 ? 0x123456 : vga[i % 16]);
        translucent.GetPixels()[i % (20 * 9)] &= static_cast<std::uint32_t>(i % 256) << 24 | 0xFFFFFF;
    }
    struct Case {
        char const* name;
        Picture picture;
        int bitDepth;
        int colourType;  // PNG: 2 RGB, 3 palette, 6 RGBA
    } const cases[] = {
        {"two colours", Checkerboard(13, 7, Opaque(0), Opaque(0xFFFFFF)), 1, 3},
        {"one colour", Picture(5, 5), 1, 3},
        {"sixteen colours", sixteen, 4, 3},
        {"seventeen colours", seventeen, 8, 2},
        {"translucent", translucent, 8, 6},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes png = c.picture.Encode(Picture::Format::Png);
        ASSERT_GT(png.size(), 26u);
        EXPECT_EQ(png[24], c.bitDepth);
        EXPECT_EQ(png[25], c.colourType);
        EXPECT_TRUE(SamePixels(Picture::Decode(png.data(), png.size()), c.picture));
    }
}

// Higher quality: larger and closer. 120 x 90 is no multiple of the 16-pixel blocks: the edges
// must come out right too. Qualities outside 1..100 are clamped.
TEST(PictureCodingTest, JpegQualityTradesSizeForFidelity) {
    Picture original = ScreenLike(120, 90);
    std::size_t previousSize = 0;
    double previousError = 1e9;
    for (int quality : {10, 50, 90}) {
        SCOPED_TRACE(quality);
        Bytes jpeg = original.Encode(Picture::Format::Jpeg, quality);
        Picture decoded = Picture::Decode(jpeg.data(), jpeg.size());
        ASSERT_EQ(decoded.GetWidth(), 120);
        ASSERT_EQ(decoded.GetHeight(), 90);
        Difference difference = Compare(original, decoded);
        EXPECT_GT(jpeg.size(), previousSize);
        EXPECT_LT(difference.mean, previousError);
        EXPECT_LT(difference.mean, quality == 90 ? 2.5 : 12.0);
        previousSize = jpeg.size();
        previousError = difference.mean;
    }
    EXPECT_LT(previousSize, original.GetBgr24().size() / 2);
    // A width of whole blocks takes no block past the edge: the rows that follow stay in place.
    Picture blocks = ScreenLike(32, 32);
    Bytes jpeg = blocks.Encode(Picture::Format::Jpeg, 90);
    EXPECT_LT(Compare(Picture::Decode(jpeg.data(), jpeg.size()), blocks).mean, 5.0);

    Picture small = ScreenLike(40, 20);
    EXPECT_EQ(small.Encode(Picture::Format::Jpeg, -20), small.Encode(Picture::Format::Jpeg, 1));
    EXPECT_EQ(small.Encode(Picture::Format::Jpeg, 150), small.Encode(Picture::Format::Jpeg, 100));
    EXPECT_NE(small.Encode(Picture::Format::Jpeg, 99), small.Encode(Picture::Format::Jpeg, 100));
    for (SIZE size : {SIZE{1, 1}, SIZE{17, 9}, SIZE{3, 40}}) {
        SCOPED_TRACE(std::to_string(size.cx) + "x" + std::to_string(size.cy));
        Picture flat = Flat(size.cx, size.cy, Opaque(0x3C82D2));
        Bytes jpeg = flat.Encode(Picture::Format::Jpeg, 90);
        Picture decoded = Picture::Decode(jpeg.data(), jpeg.size());
        ASSERT_EQ(decoded.GetWidth(), size.cx);
        ASSERT_EQ(decoded.GetHeight(), size.cy);
        EXPECT_LE(Compare(flat, decoded).largest, 3);
    }
}

// Encoding straight from packed rows gives the very JPEG of the picture those rows make, at
// every pixel size, with padded rows and sizes that are no multiple of the 16-pixel units.
TEST(PictureCodingTest, JpegStraightFromPackedRowsIsTheJpegOfTheirPicture) {
    std::mt19937 random(5);
    for (int bits : {8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        std::size_t stride = 37 * bits / 8 + 5;
        Bytes rows(stride * 21);
        for (unsigned char& byte : rows) {
            byte = static_cast<unsigned char>(random());
        }
        EXPECT_EQ(Picture::EncodeJpeg(rows.data(), 37, 21, bits, stride, 60),
                  Picture::FromPixels(rows.data(), 37, 21, bits, stride).Encode(Picture::Format::Jpeg, 60));
    }
    Bytes rows(64 * 3);
    EXPECT_EQ(ErrorText<BaseError>([&] { Picture::EncodeJpeg(rows.data(), 8, 2, 24, 23, 50); }),
              "Invalid pixel rows for a picture");
}

// Decode and Load tell the format from the contents, not the file's name; Save replaces a file.
TEST(PictureCodingTest, DecodeLoadAndSave) {
    Picture screen = ScreenLike(24, 16);
    struct Case {
        char const* name;
        Bytes bytes;
        int width;
        int height;
        std::uint32_t firstPixel;
    } const cases[] = {
        {"png", screen.Encode(Picture::Format::Png), 24, 16, screen.GetPixels()[0]},
        {"bmp", Bmp24(3, 2, 0xC08040), 3, 2, Opaque(0xC08040)},
        {"gif", TinyGif(), 1, 1, Opaque(0x123456)},
    };
    TempFolder folder;
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        Picture decoded = Picture::Decode(c.bytes.data(), c.bytes.size());
        ASSERT_EQ(decoded.GetWidth(), c.width);
        ASSERT_EQ(decoded.GetHeight(), c.height);
        EXPECT_EQ(decoded.GetPixels()[0], c.firstPixel);
        std::string path = folder.File(std::string(c.name) + ".dat");
        WriteWholeFile(path, std::string(c.bytes.begin(), c.bytes.end()));
        EXPECT_TRUE(SamePixels(Picture::Load(StringHelper::StrToWstr(path)), decoded));
    }
    std::wstring saved = StringHelper::StrToWstr(folder.File("saved"));
    screen.Save(saved, Picture::Format::Jpeg, 95);
    EXPECT_LT(Compare(Picture::Load(saved), screen).mean, 3.0);
    screen.Save(saved, Picture::Format::Png);
    EXPECT_TRUE(SamePixels(Picture::Load(saved), screen));

    WriteWholeFile(folder.File("notes.txt"), "This is not a picture.\r\n");
    EXPECT_THROW(Picture::Load(StringHelper::StrToWstr(folder.File("notes.txt"))), BaseError);
    EXPECT_THROW(Picture::Load(StringHelper::StrToWstr(folder.File("missing.png"))), SystemError);
}

TEST(PictureCodingTest, BadBytesRaiseWithoutDecodingAbsurdSizes) {
    Bytes png = ScreenLike(64, 48).Encode(Picture::Format::Png);
    Bytes jpeg = ScreenLike(64, 48).Encode(Picture::Format::Jpeg, 50);
    Bytes wideJpeg = {0xFF, 0xD8, 0xFF, 0xC0, 0,    17, 8, 0x4E, 0x20, 0x4E, 0x20, 3,
                      1,    0x22, 0,    2,    0x11, 1,  3, 0x11, 1,    0xFF, 0xD9};
    Bytes widePng = Cut(png, 33);
    widePng[17] = 1;  // width 65536 + ...
    Bytes tallBmp = Bmp24(2, 2, 0);
    tallBmp[24] = 1;  // height 65536 + 2
    // Two 8192 x 8192 frames behind a 1 x 1 screen, with no data at all.
    Bytes manyFrames = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0};
    for (int frame = 0; frame < 2; ++frame) {
        manyFrames.insert(manyFrames.end(), {0x2C, 0, 0, 0, 0, 0, 0x20, 0, 0x20, 0, 2, 0});
    }
    manyFrames.push_back(0x3B);
    struct Case {
        char const* name;
        Bytes bytes;
        char const* text;  // the start of the error text, or "" for any
    } const cases[] = {
        {"nothing", {}, "Unknown picture format"},
        {"garbage", Bytes(100, 'x'), "Unknown picture format"},
        {"png signature only", Cut(png, 8), "Picture header is cut short"},
        {"png cut in half", Cut(png, png.size() / 2), ""},
        {"jpeg header only", Cut(jpeg, 100), "Picture header is cut short"},
        {"jpeg cut in half", Cut(jpeg, jpeg.size() / 2), ""},
        {"jpeg of 20000 x 20000", wideJpeg, "Invalid picture size 20000x20000"},
        {"png wider than the limit", widePng, "Invalid picture size"},
        {"bmp taller than the limit", tallBmp, "Invalid picture size 2x65538"},
        {"gif frames beyond the limit", manyFrames, "Picture holds too many pixels"},
        {"gif cut short", Cut(TinyGif(), 30), "Picture header is cut short"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        std::string failure = ErrorText<BaseError>([&] { Picture::Decode(c.bytes.data(), c.bytes.size()); });
        EXPECT_NE(failure, "<none>");
        EXPECT_EQ(failure.substr(0, std::string(c.text).size()), c.text);
    }
    // A caller that knows the tile's size refuses anything larger.
    EXPECT_EQ(Picture::Decode(png.data(), png.size(), 64 * 48).GetWidth(), 64);
    EXPECT_EQ(ErrorText<BaseError>([&] { Picture::Decode(png.data(), png.size(), 64 * 48 - 1); }),
              "Picture holds too many pixels");
}

}  // namespace
