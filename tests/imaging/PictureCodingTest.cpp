#include <gtest/gtest.h>

#include <windows.h>

#include <random>
#include <string>
#include <vector>

#include "../ErrorText.h"
#include "PictureSamples.h"
#include "TempFolder.h"
#include "foundation/Errors.h"
#include "foundation/StringHelper.h"
#include "imaging/Picture.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Put(Bytes& out, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
    }
}

// A 24-bit BMP, rows bottom-up and padded to four bytes, as most writers make them.
Bytes Bmp24(int width, int height, std::uint32_t rgb) {
    int stride = (width * 3 + 3) / 4 * 4;
    Bytes out = {'B', 'M'};
    Put(out, 54 + stride * height, 4);
    Put(out, 0, 4);
    Put(out, 54, 4);
    for (std::uint32_t field : {40u, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)}) {
        Put(out, field, 4);
    }
    Put(out, 1, 2);
    Put(out, 24, 2);
    for (int i = 0; i < 6; ++i) {
        Put(out, 0, 4);
    }
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

std::string DecodeFailure(Bytes const& bytes, std::uint64_t maxPixels = Picture::kMaxPixels) {
    return ErrorText<BaseError>([&] { Picture::Decode(bytes.data(), bytes.size(), maxPixels); });
}

TEST(PictureCodingTest, PngKeepsEveryPixelInTheSmallestExactForm) {
    std::uint32_t const vga[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                   0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                   0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    Picture sixteen(33, 5);
    Picture seventeen(33, 5);
    Picture translucent = ScreenLike(20, 9);
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
        {"many colours", ScreenLike(40, 30), 8, 2},
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

TEST(PictureCodingTest, JpegQualityTradesSizeForFidelity) {
    // 120 x 90 is no multiple of the 16-pixel blocks: the edges must come out right too.
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
}

TEST(PictureCodingTest, JpegQualityIsClampedAndSmallPicturesEncode) {
    Picture original = ScreenLike(40, 20);
    Bytes lowest = original.Encode(Picture::Format::Jpeg, 1);
    EXPECT_EQ(original.Encode(Picture::Format::Jpeg, 0), lowest);
    EXPECT_EQ(original.Encode(Picture::Format::Jpeg, -20), lowest);
    EXPECT_EQ(original.Encode(Picture::Format::Jpeg, 150), original.Encode(Picture::Format::Jpeg, 100));
    EXPECT_NE(original.Encode(Picture::Format::Jpeg, 99), original.Encode(Picture::Format::Jpeg, 100));

    for (SIZE size : {SIZE{1, 1}, SIZE{17, 9}, SIZE{3, 40}}) {
        SCOPED_TRACE(std::to_string(size.cx) + "x" + std::to_string(size.cy));
        Picture flat(size.cx, size.cy);
        std::fill(flat.GetPixels(), flat.GetPixels() + size.cx * size.cy, Opaque(0x3C82D2));
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
    auto error = [&](void const* pixels, int width, int bits, std::size_t stride) {
        return ErrorText<BaseError>([&] { Picture::EncodeJpeg(pixels, width, 2, bits, stride, 50); });
    };
    EXPECT_EQ(error(rows.data(), 8, 12, 96), "Unsupported bits per pixel: 12");
    EXPECT_EQ(error(nullptr, 8, 24, 96), "Invalid pixel rows for a picture");
    EXPECT_EQ(error(rows.data(), 8, 24, 23), "Invalid pixel rows for a picture");
    EXPECT_EQ(error(rows.data(), 0, 24, 96), "Invalid picture size 0x2");
}

TEST(PictureCodingTest, DecodeAndLoadTellTheFormatFromTheContents) {
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
        // The file's name says nothing about its format.
        std::string path = folder.File(std::string(c.name) + ".dat");
        WriteWholeFile(path, std::string(c.bytes.begin(), c.bytes.end()));
        EXPECT_TRUE(SamePixels(Picture::Load(StringHelper::StrToWstr(path)), decoded));
    }

    std::wstring jpegPath = StringHelper::StrToWstr(folder.File("saved"));
    screen.Save(jpegPath, Picture::Format::Jpeg, 95);
    Picture loaded = Picture::Load(jpegPath);
    ASSERT_EQ(loaded.GetWidth(), 24);
    EXPECT_LT(Compare(loaded, screen).mean, 3.0);
    screen.Save(jpegPath, Picture::Format::Png);  // replaces the JPEG
    EXPECT_TRUE(SamePixels(Picture::Load(jpegPath), screen));
}

TEST(PictureCodingTest, FileFailuresRaise) {
    TempFolder folder;
    WriteWholeFile(folder.File("notes.txt"), "This is not a picture.\r\n");
    EXPECT_THROW(Picture::Load(StringHelper::StrToWstr(folder.File("notes.txt"))), BaseError);
    EXPECT_THROW(Picture::Load(StringHelper::StrToWstr(folder.File("missing.png"))), SystemError);
    EXPECT_THROW(ScreenLike(4, 4).Save(StringHelper::StrToWstr(folder.File("no\\such\\folder.png")),
                                       Picture::Format::Png),
                 SystemError);
    EXPECT_THROW(Picture().Encode(Picture::Format::Png), BaseError);
}

TEST(PictureCodingTest, BadBytesRaiseWithoutDecodingAbsurdSizes) {
    Bytes png = ScreenLike(64, 48).Encode(Picture::Format::Png);
    Bytes jpeg = ScreenLike(64, 48).Encode(Picture::Format::Jpeg, 50);
    std::mt19937 random(7);
    Bytes garbage(1000);
    for (unsigned char& byte : garbage) {
        byte = static_cast<unsigned char>(random());
    }
    garbage[0] = 'x';
    Bytes wideJpeg = {0xFF, 0xD8, 0xFF, 0xC0, 0,    17, 8, 0x4E, 0x20, 0x4E, 0x20, 3,
                      1,    0x22, 0,    2,    0x11, 1,  3, 0x11, 1,    0xFF, 0xD9};
    Bytes widePng = Cut(png, 33);
    widePng[16] = 0;
    widePng[17] = 1;  // width 65536 + ...
    Bytes emptyPng = Cut(png, 33);
    std::fill(emptyPng.begin() + 16, emptyPng.begin() + 24, 0);
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
        {"garbage", garbage, "Unknown picture format"},
        {"png signature only", Cut(png, 8), "Picture header is cut short"},
        {"png cut in half", Cut(png, png.size() / 2), ""},
        {"jpeg header only", Cut(jpeg, 100), "Picture header is cut short"},
        {"jpeg cut in half", Cut(jpeg, jpeg.size() / 2), ""},
        {"jpeg of 20000 x 20000", wideJpeg, "Invalid picture size 20000x20000"},
        {"png wider than the limit", widePng, "Invalid picture size"},
        {"png of 0 x 0", emptyPng, "Invalid picture size 0x0"},
        {"bmp taller than the limit", tallBmp, "Invalid picture size 2x65538"},
        {"bmp cut short", Cut(Bmp24(3, 2, 0), 60), ""},
        {"gif frames beyond the limit", manyFrames, "Picture holds too many pixels"},
        {"gif cut short", Cut(TinyGif(), 30), "Picture header is cut short"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        std::string failure = DecodeFailure(c.bytes);
        EXPECT_NE(failure, "<none>");
        EXPECT_EQ(failure.substr(0, std::string(c.text).size()), c.text);
    }
    EXPECT_THROW(Picture::Decode(nullptr, 10), BaseError);

    // A caller that knows the tile's size refuses anything larger.
    EXPECT_EQ(Picture::Decode(png.data(), png.size(), 64 * 48).GetWidth(), 64);
    EXPECT_EQ(DecodeFailure(png, 64 * 48 - 1), "Picture holds too many pixels");
}

}  // namespace
