#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
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
        if (r[2] >= r[0] && r[3] >= r[1]) {
            Bytes pixels = RectPixels(r, bytesPerPixel);
            packet.insert(packet.end(), pixels.begin(), pixels.end());
        }
    }
    return packet;
}

Bytes operator+(Bytes a, Bytes const& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string Payload(std::string const& width, std::string const& height, std::string const& bytesPerPixel,
                    std::string const& size, std::string const& kind, std::string const& data) {
    return width + ":" + height + ":" + bytesPerPixel + ":7:" + size + ":" + kind + ":" + data;
}

std::string Compressed(Bytes const& bytes) {
    return CompressAndEncode(bytes.data(), static_cast<unsigned int>(bytes.size()));
}

// A message as the viewer has it: read by the endpoint, then decoded by the displaying state.
struct Received {
    std::unique_ptr<ScreenChangeNetMsg> message;
    ScreenDecoder::Change change;

    ScreenChangeNetMsg const* operator->() const { return message.get(); }
    std::vector<Rect> Rects() const {
        std::vector<Rect> rects;
        for (auto const& p : change.pictures) {
            rects.push_back({int(p.rect.left), int(p.rect.top), int(p.rect.right), int(p.rect.bottom)});
        }
        return rects;
    }
};

Received Decoded(std::string const& payload) {
    Received received;
    received.message = Read<ScreenChangeNetMsg>(payload);
    received.change = ScreenDecoder::Decode(*received.message);
    return received;
}

ScreenChangeNetMsg Encoded(Bytes const& packet, tagSIZE origin, int depth, bool jpeg, int quality = 90,
                           int level = 9) {
    return ScreenEncoder::Encode(packet.data(), static_cast<unsigned long>(packet.size()), origin, 42,
                                 {static_cast<unsigned char>(depth), jpeg, quality, level});
}

// What the viewer makes of a sent packet: the message read by the endpoint, then decoded.
Received Sent(Bytes const& packet, tagSIZE origin, int depth, bool jpeg, int quality = 90, int level = 9) {
    return Decoded(Encoded(packet, origin, depth, jpeg, quality, level).GetData());
}

// The text of the NetworkError that reading or decoding `payload` raises; "<none>" when none.
std::string DecodeError(std::string const& payload) {
    return ErrorText<NetworkError>([&] { Decoded(payload); });
}

Bytes Block(Rect const& r, Bytes const& picture, std::int64_t declared = -1) {
    Bytes block;
    PutEdges(block, r);
    Put(block, static_cast<std::uint32_t>(declared < 0 ? picture.size() : declared), 4);
    return block + picture;
}

Bytes Png(int width, int height) {
    return ScreenLike(width, height).Encode(Picture::Format::Png);
}

// A picture message for a frame of `side` x `side` whose picture list is `list`.
std::string PictureList(Bytes const& list, int side = 300) {
    std::string s = std::to_string(side);
    return Payload(s, s, "3", std::to_string(list.size()), "JPG", Compressed(list));
}

struct ErrorCase {
    char const* what;
    std::string payload;
    std::string error;
};

void ExpectErrors(std::vector<ErrorCase> const& cases) {
    for (ErrorCase const& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DecodeError(c.payload), c.error);
    }
}

// Every depth with JPEG on and off, through the encoder, the message and the decoder: raw
// packets come back exactly at whatever zlib level the sender chose; PNG pictures exactly as
// thresholded or reduced; JPEG pictures within the loss of quality 90.
TEST(ScreenCodecTest, RoundTripsAtEveryDepth) {
    struct Case {
        int depth;
        bool jpeg;
        bool pictures;
        int level;
    };
    Case const cases[] = {{1, false, true, 9},   {1, true, true, 1},   {4, false, true, 9},
                          {4, true, true, 1},    {8, false, false, 1}, {8, true, true, 9},
                          {16, false, false, 3}, {16, true, false, 6}, {24, false, false, 9},
                          {24, false, false, 1}, {24, true, true, 6}};
    LogCapture log;
    std::vector<Rect> const rects = {{10, 20, 74, 60}, {250, 190, 261, 197}};
    for (Case const& c : cases) {
        SCOPED_TRACE(std::to_string(c.depth) + (c.jpeg ? " with JPEG" : "") + " at level " +
                     std::to_string(c.level));
        int bytesPerPixel = c.depth <= 4 ? 3 : c.depth / 8;
        Bytes packet = Packet(rects, bytesPerPixel);
        Received received = Sent(packet, {300, 200}, c.depth, c.jpeg, 90, c.level);
        EXPECT_EQ(received->GetOriginResolution().cx, 300);
        EXPECT_EQ(received->GetOriginResolution().cy, 200);
        EXPECT_EQ(received->GetColorDepth(), bytesPerPixel);
        EXPECT_EQ(received->GetTiming(), 42);
        EXPECT_EQ(received->IsJpeg(), c.pictures);
        // The zlib header names the level's class: fastest, fast, default or best.
        int const levelClass = c.level < 2 ? 0 : c.level < 6 ? 1 : c.level == 6 ? 2 : 3;
        EXPECT_EQ(static_cast<unsigned char>(received->GetEncodedData().at(1)) >> 6, levelClass);
        if (!c.pictures) {
            EXPECT_EQ(received->GetUncompressedSize(), packet.size());
            EXPECT_EQ(received.change.packet, packet);
            EXPECT_TRUE(received.change.pictures.empty());
            continue;
        }
        ASSERT_EQ(received.Rects(), rects);
        for (std::size_t i = 0; i < rects.size(); ++i) {
            Rect const& r = rects[i];
            int const width = r[2] - r[0];
            Bytes pixels = RectPixels(r, bytesPerPixel);
            Picture expected = Picture::FromPixels(pixels.data(), width, r[3] - r[1], 8 * bytesPerPixel,
                                                   width * bytesPerPixel);
            Picture const& got = *received.change.pictures[i].image;
            if (c.depth == 1) {
                expected.Threshold(185);
            } else if (c.depth == 4) {
                expected.ReduceTo16Colours();
            }
            if (c.depth <= 4) {
                EXPECT_TRUE(SamePixels(got, expected));
            } else {
                EXPECT_LT(Compare(got, expected).mean,
                          12.0);  // thin strokes lose colour to the halved chroma
            }
        }
    }
    EXPECT_EQ(log.Count("Jpeg compression for size "), 6);
    EXPECT_EQ(log.Count("ZIP compressed jpeg to "), 6);
}

// The sender walks only complete rectangles (sizes in 64 bits: no wrap-around lets one
// through). Without a complete rectangle, with one that cannot become a picture, or with
// pictures larger than the frame allows, the whole packet goes as it is rather than losing
// the rectangles after it.
TEST(ScreenCodecTest, PicturesAreMadeOfCompleteRectanglesOrThePacketGoesAsItIs) {
    Rect const a = {0, 0, 30, 20}, b = {40, 10, 47, 13}, c = {5, 100, 25, 140};
    Bytes cut = Packet({a, b, c}, 3);
    cut.resize(cut.size() - 5);
    Bytes wrapping = Packet({a}, 3, 2);
    PutEdges(wrapping, {0, 0, 65535, 21846});  // 65535 x 21846 x 3 is 65534 in 32 bits
    wrapping.resize(wrapping.size() + 65534);
    Bytes tooWide = Packet({a, {0, 30, Picture::kMaxSide + 1, 31}}, 3);
    std::mt19937 random(7);
    Bytes noise = Packet({}, 3, 1);
    PutEdges(noise, {0, 0, 300, 200});
    for (int i = 0; i < 300 * 200 * 3; ++i) {
        noise.push_back(static_cast<unsigned char>(random()));
    }
    struct Case {
        char const* what;
        Bytes packet;
        tagSIZE origin;
        int depth;
        std::vector<Rect> pictures;  // none: the packet goes as it is
    };
    Case const cases[] = {
        {"the last rectangle is cut short", cut, {300, 200}, 24, {a, b}},
        {"the count promises more", Packet({a, b}, 3, 1000), {300, 200}, 24, {a, b}},
        {"the count promises fewer", Packet({a, b}, 3, 1), {300, 200}, 24, {a}},
        {"reversed edges end the packet", Packet({a, {20, 0, 10, 5}, b}, 3), {300, 200}, 24, {a}},
        {"empty ones are skipped", Packet({a, {5, 5, 5, 9}, b, {1, 1, 9, 1}}, 3), {300, 200}, 24, {a, b}},
        {"a size that wraps in 32 bits", wrapping, {300, 200}, 24, {a}},
        {"a count of 0", Packet({a}, 3, 0), {300, 200}, 24, {}},
        {"too wide for a JPEG", tooWide, {Picture::kMaxSide + 1, 40}, 24, {}},
        {"too wide for a PNG", tooWide, {Picture::kMaxSide + 1, 40}, 4, {}},
    };
    LogCapture log;
    for (Case const& c : cases) {
        SCOPED_TRACE(c.what);
        Received received = Sent(c.packet, c.origin, c.depth, true, 100);
        EXPECT_EQ(received->IsJpeg(), !c.pictures.empty());
        if (c.pictures.empty()) {
            EXPECT_EQ(received.change.packet, c.packet);
        } else {
            EXPECT_EQ(received.Rects(), c.pictures);
        }
    }
    EXPECT_EQ(log.Count("Cannot create image in memory for jpeg"), 2);
    // Noise at the best quality takes more than a tiny frame allows for its pictures; a frame of
    // its own size takes it.
    EXPECT_FALSE(Encoded(noise, {16, 16}, 24, true, 100).IsJpeg());
    EXPECT_TRUE(Encoded(noise, {300, 200}, 24, true, 100).IsJpeg());
}

// Payloads as a careless or hostile peer may send them: each is refused with its own text, and
// the size a peer announces is read whole and held to what a frame of its resolution can need.
// A depth above 3 bytes per pixel only multiplied what a frame may inflate to, and a size past
// 32 bits was cut to its low bits and accepted.
TEST(ScreenCodecTest, HostilePayloadsAreRefused) {
    Bytes const raw = Packet({{0, 0, 10, 10}}, 3);  // 312 bytes: the most a 10 x 10 frame needs
    ASSERT_EQ(ScreenChangeNetMsg::MaxPacketSize({10, 10}, 3), raw.size());
    std::string const packed = Compressed(raw);
    std::string const tiny = std::to_string(ScreenChangeNetMsg::MaxPictureListSize({8, 8}) + 1);
    Bytes const png = Png(8, 8);
    auto raw10 = [&](char const* width, char const* depth, char const* size, char const* kind = "ZIP") {
        return Payload(width, "10", depth, size, kind, packed);
    };
    Bytes const small = Packet({{0, 0, 29, 1}}, 3);  // 99 bytes
    std::string const wrapped = std::to_string((1ull << 32) + small.size());
    std::string const zero = "ScreenChangeNetMsg fields cannot be 0", inflate = "Failed to uncompress buffer",
                      list = "Invalid screen change jpeg", image = "Invalid screen change image format",
                      fields = "Invalid ScreenChangeNetMsg fields";
    ExpectErrors({
        {"a whole raw packet", raw10("10", "3", "312"), "<none>"},
        {"another kind reads as raw", raw10("10", "3", "312", "PNG"), "<none>"},
        {"five fields", "10:10:3:7:312", fields},
        {"4 bytes per pixel", Payload("8", "8", "4", "256", "ZIP", Compressed(Bytes(256, 0))), fields},
        {"a size 2^32 above the data", Payload("65535", "65535", "3", wrapped, "ZIP", Compressed(small)),
         inflate},
        {"the data's own size",
         Payload("65535", "65535", "3", std::to_string(small.size()), "ZIP", Compressed(small)), "<none>"},
        {"no width", raw10("0", "3", "312"), zero},
        {"no height", Payload("10", "x", "3", "312", "ZIP", packed), zero},
        {"no depth", raw10("10", "256", "312"), zero},
        {"no size", raw10("10", "3", "0", "JPG"), zero},
        {"more than the frame needs", raw10("10", "3", "313"), inflate},
        {"a negative size", raw10("10", "3", "-1"), inflate},
        {"a negative frame", raw10("-10", "3", "312"), inflate},
        {"less than the data", raw10("10", "3", "311"), inflate},
        {"not compressed", Payload("10", "10", "3", "312", "ZIP", "abc:def"), inflate},
        {"a list too large for its frame", Payload("8", "8", "3", tiny, "JPG", packed), inflate},
        {"a list of one picture", PictureList(Block({0, 0, 8, 8}, png)), "<none>"},
        {"a block header cut short", PictureList({1, 2, 3, 4, 5}), list},
        {"a picture cut short", PictureList(Block({0, 0, 8, 8}, png, png.size() + 1)), list},
        {"a length that wraps", PictureList(Block({0, 0, 8, 8}, png, 0xFFFFFFFF)), list},
        {"pictures covering more than the frame",
         PictureList(Block({0, 0, 8, 8}, png) + Block({0, 0, 8, 8}, png), 8), list},
        {"not a picture", PictureList(Block({0, 0, 8, 8}, Bytes(40, 'x'))), image},
        {"smaller than its rectangle", PictureList(Block({0, 0, 8, 8}, Png(4, 4))), image},
        {"transposed", PictureList(Block({0, 0, 8, 4}, Png(4, 8))), image},
        {"reversed edges", PictureList(Block({8, 8, 0, 0}, png)), image},
    });
    EXPECT_EQ(ReadError<ClipboardNetMsg>(wrapped + ":" + Compressed(small)), inflate);
}

// The endpoint reads every contact's messages in every state, so reading one only checks its
// fields; the viewer's decoding refuses more pictures or rectangles than the frame has tiles
// before it decodes any. 32,000 pictures of one pixel took 13 s to read before; the bounds
// leave room for a loaded machine.
TEST(ScreenCodecTest, HostileMessagesStayCheapUntilDecoded) {
    Bytes const dot = Png(1, 1);
    // `count` pictures of one pixel in rows of 1000, for a square frame of `side`.
    auto pictures = [&](int count, int side) {
        Bytes list;
        for (int i = 0; i < count; ++i) {
            Bytes const block = Block({i % 1000, i / 1000, i % 1000 + 1, i / 1000 + 1}, dot);
            list.insert(list.end(), block.begin(), block.end());
        }
        return PictureList(list, side);
    };
    // `count` single pixels on a checkerboard in rows of 200, for a square frame of `side`.
    auto rectangles = [](int count, int side) {
        std::vector<Rect> rects;
        for (int i = 0; i < count; ++i) {
            int const y = i / 200, x = i % 200 * 2 + y % 2;
            rects.push_back({x, y, x + 1, y + 1});
        }
        Bytes const packet = Packet(rects, 3);
        std::string const s = std::to_string(side);
        return Payload(s, s, "3", std::to_string(packet.size()), "ZIP", Compressed(packet));
    };
    ASSERT_EQ(ScreenChangeNetMsg::MaxRectangles({2000, 2000}, 3), 84u * 84);
    ASSERT_EQ(ScreenChangeNetMsg::MaxRectangles({48, 48}, 3), 4u);
    ErrorCase const cases[] = {
        {"32,000 pictures", pictures(32000, 2000), "Invalid screen change jpeg"},
        {"one picture more than the tiles", pictures(5, 48), "Invalid screen change jpeg"},
        {"a picture per tile", pictures(4, 48), "<none>"},
        {"80,000 rectangles", rectangles(80000, 1024), "Invalid screen change packet"},
        {"one rectangle more than the tiles", rectangles(5, 48), "Invalid screen change packet"},
        {"a rectangle per tile", rectangles(4, 48), "<none>"},
    };
    for (ErrorCase const& c : cases) {
        SCOPED_TRACE(c.what);
        Timer timer(true);
        std::unique_ptr<ScreenChangeNetMsg> message = Read<ScreenChangeNetMsg>(c.payload);
        EXPECT_LT(timer.GetTimeInSec(), 0.5) << "reading";
        EXPECT_EQ(ErrorText<NetworkError>([&] { ScreenDecoder::Decode(*message); }), c.error);
        if (c.error != "<none>") {
            EXPECT_LT(timer.GetTimeInSec(), 1.0) << "refusing";
        }
    }
}

}  // namespace
