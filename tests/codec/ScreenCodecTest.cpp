#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "../imaging/PictureSamples.h"
#include "../network/MessageFields.h"
#include "LogCapture.h"
#include "codec/ScreenDecoder.h"
#include "codec/ScreenEncoder.h"
#include "foundation/Timer.h"
#include "imaging/Picture.h"
#include "network/SkypeCoder.h"

namespace {

using Rect = std::array<int, 4>;  // left, top, right, bottom

Bytes& operator+=(Bytes& a, Bytes const& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes operator+(Bytes a, Bytes const& b) {
    return a += b;
}

// A gradient under dark text-like strokes, in the packet's pixel format.
Bytes RectPixels(Rect const& r, int bytesPerPixel) {
    Bytes pixels;
    for (int y = r[1]; y < r[3]; ++y) {
        for (int x = r[0]; x < r[2]; ++x) {
            bool stroke = y % 12 > 3 && y % 12 < 10 && (x * 7 + y / 12 * 3) % 11 < 4;
            unsigned red = stroke ? 30 : 100 + x % 120, green = stroke ? 30 : 140 + y % 100,
                     blue = stroke ? 30 : 200;
            std::uint32_t const packed[] = {(red & 0xE0) | (green >> 3 & 0x1C) | blue >> 6,
                                            (red >> 3) << 11 | (green >> 2) << 5 | blue >> 3,
                                            blue | green << 8 | red << 16};
            Put(pixels, packed[bytesPerPixel - 1], bytesPerPixel);
        }
    }
    return pixels;
}

void PutEdges(Bytes& out, Rect const& r) {
    for (int edge : r) {
        Put(out, static_cast<std::uint32_t>(edge), 2);
    }
}

// A change packet of `rects` whose count says `count` (their number when negative).
Bytes Packet(std::vector<Rect> const& rects, int bytesPerPixel, std::int64_t count = -1) {
    Bytes packet;
    Put(packet, static_cast<std::uint32_t>(count < 0 ? rects.size() : count), 4);
    for (Rect const& r : rects) {
        PutEdges(packet, r);
        packet += RectPixels(r, bytesPerPixel);
    }
    return packet;
}

std::string Payload(std::string const& side, std::string const& bytesPerPixel, std::string const& size,
                    std::string const& kind, std::string const& data) {
    return side + ":" + side + ":" + bytesPerPixel + ":7:" + size + ":" + kind + ":" + data;
}

std::string Compressed(Bytes const& bytes) {
    return CompressAndEncode(bytes.data(), static_cast<unsigned int>(bytes.size()));
}

// A message as the viewer has it: read by the endpoint, then decoded.
struct Received {
    std::unique_ptr<ScreenChangeNetMsg> message;
    ScreenDecoder::Change change;
};

std::vector<Rect> Rects(Received const& received) {
    std::vector<Rect> rects;
    for (auto const& p : received.change.pictures) {
        rects.push_back({int(p.rect.left), int(p.rect.top), int(p.rect.right), int(p.rect.bottom)});
    }
    return rects;
}

ScreenChangeNetMsg Encoded(Bytes const& packet, SIZE origin, int depth, bool jpeg, int level, int quality) {
    return ScreenEncoder::Encode(packet.data(), static_cast<unsigned long>(packet.size()), origin, 42,
                                 {static_cast<unsigned char>(depth), jpeg, quality, level});
}

Received Sent(Bytes const& packet, tagSIZE origin, int depth, bool jpeg, int level = 9) {
    Received received;
    received.message = Read<ScreenChangeNetMsg>(Encoded(packet, origin, depth, jpeg, level, 90).GetData());
    received.change = ScreenDecoder::Decode(*received.message);
    return received;
}

Bytes Block(Rect const& r, Bytes const& picture, std::int64_t declared = -1) {
    Bytes block;
    PutEdges(block, r);
    Put(block, static_cast<std::uint32_t>(declared < 0 ? picture.size() : declared), 4);
    return block + picture;
}

std::string PictureList(Bytes const& list, int side = 300) {
    return Payload(std::to_string(side), "3", std::to_string(list.size()), "JPG", Compressed(list));
}

// Every depth with JPEG on and off, encoded and decoded: raw packets come back exactly at any
// zlib level; PNG pictures exactly as thresholded or reduced; JPEG within the loss of quality 90.
TEST(ScreenCodecTest, RoundTripsAtEveryDepth) {
    LogCapture log;
    std::vector<Rect> const rects = {{10, 20, 74, 60}, {250, 190, 261, 197}};
    std::tuple<int, bool, int> const cases[] = {{1, false, 9},  {1, true, 1},   {4, false, 9},  {4, true, 1},
                                                {8, false, 1},  {8, true, 9},   {16, false, 3}, {16, true, 6},
                                                {24, false, 9}, {24, false, 1}, {24, true, 6}};
    for (auto [depth, jpeg, level] : cases) {
        SCOPED_TRACE(std::to_string(depth) + (jpeg ? " with JPEG at " : " at ") + std::to_string(level));
        bool const pictures = depth <= 4 || (jpeg && depth != 16);
        int const bytesPerPixel = depth <= 4 ? 3 : depth / 8;
        Bytes packet = Packet(rects, bytesPerPixel);
        Received received = Sent(packet, {300, 200}, depth, jpeg, level);
        ScreenChangeNetMsg const& m = *received.message;
        EXPECT_EQ(std::make_tuple(m.GetOriginResolution().cx, m.GetOriginResolution().cy, m.GetColorDepth(),
                                  m.GetTiming(), m.IsJpeg()),
                  std::make_tuple(300L, 200L, bytesPerPixel, 42, pictures));
        // The zlib header names the level's class: fastest, fast, default or best.
        EXPECT_EQ(m.GetEncodedData().at(1) >> 6 & 3, level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3);
        if (!pictures) {
            EXPECT_EQ(m.GetUncompressedSize(), packet.size());
            EXPECT_EQ(received.change.packet, packet);
            continue;
        }
        ASSERT_EQ(Rects(received), rects);
        for (std::size_t i = 0; i < rects.size(); ++i) {
            int const width = rects[i][2] - rects[i][0], height = rects[i][3] - rects[i][1];
            Bytes pixels = RectPixels(rects[i], bytesPerPixel);
            Picture expected =
                Picture::FromPixels(pixels.data(), width, height, 8 * bytesPerPixel, width * bytesPerPixel);
            if (depth == 1) {
                expected.Threshold(185);
            } else if (depth == 4) {
                expected.ReduceTo16Colours();
            }
            Picture const& got = *received.change.pictures[i].image;  // JPEG halves the strokes' chroma
            EXPECT_TRUE(depth <= 4 ? SamePixels(got, expected) : Compare(got, expected).mean < 12.0);
        }
    }
    EXPECT_EQ(log.Count("Jpeg compression for size "), 6);
    EXPECT_EQ(log.Count("ZIP compressed jpeg to "), 6);
    // Rectangle sizes are walked in 64 bits; a rectangle that cannot become a picture, or pictures
    // larger than the frame allows, send the whole packet as it is.
    Rect const a = {0, 0, 30, 20};
    Bytes wrapping = Packet({a}, 3, 2);
    PutEdges(wrapping, {0, 0, 65535, 21846});  // 65535 x 21846 x 3 is 65534 in 32 bits
    wrapping.resize(wrapping.size() + 65534);
    Bytes const tooWide = Packet({a, {0, 30, Picture::kMaxSide + 1, 31}}, 3);
    EXPECT_EQ(Rects(Sent(wrapping, {300, 200}, 24, true)), std::vector<Rect>{a});
    EXPECT_EQ(Sent(tooWide, {Picture::kMaxSide + 1, 40}, 24, true).change.packet, tooWide);
    EXPECT_FALSE(Encoded(Packet({{0, 0, 300, 200}}, 3), {16, 16}, 24, true, 9, 100).IsJpeg());
    EXPECT_TRUE(Encoded(Packet({{0, 0, 300, 200}}, 3), {300, 200}, 24, true, 9, 100).IsJpeg());
    EXPECT_EQ(log.Count("Cannot create image in memory for jpeg"), 1);
}

// Reading only checks fields; decoding refuses more pictures or rectangles than the frame has
// tiles before decoding any (32,000 one-pixel pictures took 13 s). A depth above 3 bytes per pixel
// multiplied what a frame may inflate to; a size past 32 bits was cut to its low bits.
TEST(ScreenCodecTest, HostilePayloadsAreRefusedCheaply) {
    auto png = [](int width, int height) { return ScreenLike(width, height).Encode(Picture::Format::Png); };
    Bytes const dot = png(1, 1), square = png(8, 8), small = Packet({{0, 0, 29, 1}}, 3);
    auto pictures = [&](int count, int side) {
        Bytes list;
        for (int i = 0; i < count; ++i) {
            list += Block({i % 1000, i / 1000, i % 1000 + 1, i / 1000 + 1}, dot);
        }
        return PictureList(list, side);
    };
    auto rectangles = [](int count, int side) {
        std::vector<Rect> rects;
        for (int i = 0; i < count; ++i) {
            int const y = i / 200, x = i % 200 * 2 + y % 2;
            rects.push_back({x, y, x + 1, y + 1});
        }
        Bytes const packet = Packet(rects, 3);
        return Payload(std::to_string(side), "3", std::to_string(packet.size()), "ZIP", Compressed(packet));
    };
    std::string const packed = Compressed(Packet({{0, 0, 10, 10}}, 3));  // the most a 10 x 10 frame needs
    std::string const wrapped = std::to_string((1ull << 32) + small.size());
    std::string const inflate = "Failed to uncompress buffer", list = "Invalid screen change jpeg";
    std::pair<std::string, std::string> const cases[] = {
        {Payload("10", "3", "312", "ZIP", packed), "<none>"},
        {Payload("10", "3", "313", "ZIP", packed), inflate},
        {Payload("0", "3", "312", "ZIP", packed), "ScreenChangeNetMsg fields cannot be 0"},
        {Payload("8", "4", "256", "ZIP", Compressed(Bytes(256, 0))), "Invalid ScreenChangeNetMsg fields"},
        {Payload("65535", "3", wrapped, "ZIP", Compressed(small)), inflate},
        {PictureList(Block({0, 0, 8, 8}, square, 0xFFFFFFFF)), list},
        {PictureList(Block({0, 0, 8, 8}, square) + Block({0, 0, 8, 8}, square), 8), list},
        {PictureList(Block({0, 0, 8, 4}, png(4, 8))), "Invalid screen change image format"},
        {pictures(32000, 2000), list},
        {pictures(5, 48), list},
        {pictures(4, 48), "<none>"},
        {rectangles(80000, 1024), "Invalid screen change packet"},
        {rectangles(5, 48), "Invalid screen change packet"},
        {rectangles(4, 48), "<none>"},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(&c - cases);
        Timer timer(true);
        EXPECT_EQ(ErrorText<NetworkError>([&] { ScreenDecoder::Decode(*Read<ScreenChangeNetMsg>(c.first)); }),
                  c.second);
        EXPECT_LT(timer.GetTimeInSec(), 1.0);
    }
    EXPECT_EQ(ReadError<ClipboardNetMsg>(wrapped + ":" + Compressed(small)), inflate);
}

}  // namespace
