#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include "../ErrorText.h"
#include "PictureSamples.h"
#include "TempFolder.h"
#include "WorkerThread.h"
#include "foundation/Errors.h"
#include "foundation/StringHelper.h"

namespace {

// A 2 x 1 24-bit BMP of 0xC08040 pixels, its row padded to four bytes.
Bytes Bmp24() {
    Bytes out = {'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  40,
                 0,   0,   0,  2, 0, 0, 0, 1, 0, 0, 0,  1, 0, 24, 0};
    out.resize(54);
    out.insert(out.end(), {0x40, 0x80, 0xC0, 0x40, 0x80, 0xC0, 0, 0});
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

// Packed rows of every pixel size read as their pixels, and encode straight to the JPEG of the
// picture they make.
TEST(PictureTest, FromPixelsReadsEveryPackedFormat) {
    Bytes const pixels(64 * 3, 0);
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
        Bytes rows = c.row;  // two rows with three bytes of padding between them
        rows.insert(rows.end(), {0xEE, 0xEE, 0xEE});
        rows.insert(rows.end(), c.row.begin(), c.row.end());
        int width = static_cast<int>(c.expected.size());
        Picture picture = Picture::FromPixels(rows.data(), width, 2, c.bits, c.row.size() + 3);
        ASSERT_EQ(picture.GetWidth() * picture.GetHeight(), 2 * width);
        Bytes bgr;
        for (int i = 0; i < 2 * width; ++i) {
            std::uint32_t expected = c.bits == 32 ? c.expected[i % width] : Opaque(c.expected[i % width]);
            EXPECT_EQ(picture.GetPixels()[i], expected) << "pixel " << i;
            Put(bgr, expected, 3);
        }
        EXPECT_EQ(picture.GetBgr24(), bgr);
        EXPECT_EQ(Picture::EncodeJpeg(rows.data(), width, 2, c.bits, c.row.size() + 3, 60),
                  picture.Encode(Picture::Format::Jpeg, 60));
    }
    EXPECT_EQ(ErrorText<BaseError>([&] { Picture::EncodeJpeg(pixels.data(), 8, 2, 24, 23, 50); }),
              "Invalid pixel rows for a picture");
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
    EXPECT_EQ(ramp.GetPixels()[0], Opaque(0));
    EXPECT_NEAR(static_cast<int>(Channel(ramp.GetPixels()[3], 1)), 128, 100);
    EXPECT_EQ(ramp.GetPixels()[7], Opaque(0xFFFFFF));
    // A transparent pixel's colour does not bleed into its opaque neighbour.
    std::uint32_t mixed = Checkerboard(2, 1, 0x00FF0000, Opaque(0x0000FF)).Resample(1, 1).GetPixels()[0];
    EXPECT_EQ(mixed & 0xFFFFFF, 0x0000FFu);
    EXPECT_NEAR(static_cast<int>(mixed >> 24), 128, 1);
    EXPECT_THROW(grey.Resample(0, 5), BaseError);
    EXPECT_THROW(Picture().Resample(5, 5), BaseError);
}

// Whatever the thread's COM apartment (none, single- or multithreaded), coding works and the
// apartment is left as it was: asking for a single-threaded one afterwards says so.
TEST(PictureTest, WorksOnAnyThreadAndLeavesItsApartmentAsItWas) {
    Picture const picture = ScreenLike(48, 40);
    Bytes const png = picture.Encode(Picture::Format::Png);
    std::pair<DWORD, HRESULT> const cases[] = {
        {DWORD(-1), S_OK}, {COINIT_APARTMENTTHREADED, S_FALSE}, {COINIT_MULTITHREADED, RPC_E_CHANGED_MODE}};
    for (auto const& c : cases) {
        HRESULT probe = E_FAIL;
        bool same = false;
        WorkerThread([&] {
            bool const com = c.first != DWORD(-1) && CoInitializeEx(nullptr, c.first) == S_OK;
            same = SamePixels(Picture::Decode(png.data(), png.size()), picture) &&
                   picture.Encode(Picture::Format::Png) == png;
            probe = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            for (int i = SUCCEEDED(probe) + com; i > 0; --i) {
                CoUninitialize();
            }
        }).Join();
        EXPECT_TRUE(same) << c.first;
        EXPECT_EQ(probe, c.second) << c.first;
    }
}

TEST(PictureCodingTest, PngKeepsEveryPixelInTheSmallestExactForm) {
    Picture sixteen = ScreenLike(33, 5), translucent = ScreenLike(20, 9);
    sixteen.ReduceTo16Colours();
    for (int i = 0; i < 20 * 9; ++i) {
        translucent.GetPixels()[i] &= static_cast<std::uint32_t>(i % 256) << 24 | 0xFFFFFF;
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
        {"many colours", ScreenLike(33, 5), 8, 2},
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
        EXPECT_EQ(Bytes(jpeg.end() - 2, jpeg.end()), (Bytes{0xFF, 0xD9}));  // the end-of-image marker
        Picture decoded = Picture::Decode(jpeg.data(), jpeg.size());
        ASSERT_EQ(decoded.GetWidth() * decoded.GetHeight(), 120 * 90);
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
}

// Decode and Load tell the format from the contents, not the file's name; Save replaces a file.
// Bad bytes raise without decoding absurd sizes.
TEST(PictureCodingTest, DecodeLoadAndSave) {
    Picture screen = ScreenLike(64, 48);
    Bytes png = screen.Encode(Picture::Format::Png);
    Bytes jpeg = screen.Encode(Picture::Format::Jpeg, 50);
    Bytes wideJpeg = {0xFF, 0xD8, 0xFF, 0xC0, 0,    17, 8, 0x4E, 0x20, 0x4E, 0x20, 3,
                      1,    0x22, 0,    2,    0x11, 1,  3, 0x11, 1,    0xFF, 0xD9};
    Bytes widePng = Cut(png, 33);
    widePng[17] = 1;  // width 65536 + ...
    Bytes tallBmp = Bmp24();
    tallBmp[24] = 1;  // height 65536 + 1
    // Two 8192 x 8192 frames behind a 1 x 1 screen, with no data at all.
    Bytes manyFrames = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0};
    for (int frame = 0; frame < 2; ++frame) {
        manyFrames.insert(manyFrames.end(), {0x2C, 0, 0, 0, 0, 0, 0x20, 0, 0x20, 0, 2, 0});
    }
    manyFrames.push_back(0x3B);
    struct Case {
        char const* name;
        Bytes bytes;
        std::string error;  // the start of its text
        Picture picture;    // or what the bytes hold
    } const cases[] = {
        {"png", png, "", screen},
        {"bmp", Bmp24(), "", Checkerboard(2, 1, Opaque(0xC08040), Opaque(0xC08040))},
        {"gif", TinyGif(), "", Checkerboard(1, 1, Opaque(0x123456), Opaque(0x123456))},
        {"nothing", {}, "Unknown picture format", {}},
        {"png signature only", Cut(png, 8), "Picture header is cut short", {}},
        {"jpeg header only", Cut(jpeg, 100), "Picture header is cut short", {}},
        {"jpeg cut in half", Cut(jpeg, jpeg.size() / 2), "", {}},
        {"jpeg of 20000 x 20000", wideJpeg, "Invalid picture size 20000x20000", {}},
        {"png wider than the limit", widePng, "Invalid picture size", {}},
        {"bmp taller than the limit", tallBmp, "Invalid picture size 2x65537", {}},
        {"gif frames beyond the limit", manyFrames, "Picture holds too many pixels", {}},
        {"gif cut short", Cut(TinyGif(), 30), "Picture header is cut short", {}},
    };
    TempFolder folder;
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        Picture decoded;
        std::string failure =
            ErrorText<BaseError>([&] { decoded = Picture::Decode(c.bytes.data(), c.bytes.size()); });
        if (c.picture.GetWidth() == 0) {
            EXPECT_NE(failure, "<none>");
            EXPECT_EQ(failure.substr(0, c.error.size()), c.error);
            continue;
        }
        EXPECT_TRUE(SamePixels(decoded, c.picture));
        std::string path = folder.File(std::string(c.name) + ".dat");
        WriteWholeFile(path, std::string(c.bytes.begin(), c.bytes.end()));
        EXPECT_TRUE(SamePixels(Picture::Load(StringHelper::StrToWstr(path)), c.picture));
    }
    // A caller that knows the tile's size refuses anything larger.
    EXPECT_EQ(Picture::Decode(png.data(), png.size(), 64 * 48).GetWidth(), 64);
    EXPECT_EQ(ErrorText<BaseError>([&] { Picture::Decode(png.data(), png.size(), 64 * 48 - 1); }),
              "Picture holds too many pixels");

    std::wstring saved = StringHelper::StrToWstr(folder.File("saved"));
    screen.Save(saved, Picture::Format::Jpeg, 95);
    screen.Save(saved, Picture::Format::Png);
    EXPECT_TRUE(SamePixels(Picture::Load(saved), screen));
    WriteWholeFile(folder.File("notes.txt"), "This is not a picture.\r\n");
    EXPECT_THROW(Picture::Load(StringHelper::StrToWstr(folder.File("notes.txt"))), BaseError);
    EXPECT_THROW(Picture::Load(StringHelper::StrToWstr(folder.File("missing.png"))), SystemError);
}

}  // namespace
