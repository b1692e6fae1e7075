#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <random>
#include <set>
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

using Bytes = std::vector<unsigned char>;

void Put(Bytes& out, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
    }
}

struct Rect {
    int left, top, right, bottom;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// A gradient under lines of dark text-like strokes, in the packet's pixel format.
Bytes RectPixels(Rect const& r, int bytesPerPixel) {
    Bytes pixels;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            bool stroke = y % 12 > 3 && y % 12 < 10 && (x * 7 + y / 12 * 3) % 11 < 4;
            unsigned red = stroke ? 30 : 100 + x % 120, green = stroke ? 30 : 140 + y % 100,
                     blue = stroke ? 30 : 200;
            if (bytesPerPixel == 3) {
                Put(pixels, blue | green << 8 | red << 16, 3);
            } else if (bytesPerPixel == 2) {
                Put(pixels, (red >> 3) << 11 | (green >> 2) << 5 | blue >> 3, 2);
            } else {
                Put(pixels, (red & 0xE0) | (green >> 3 & 0x1C) | blue >> 6, 1);
            }
        }
    }
    return pixels;
}

void PutEdges(Bytes& out, Rect const& r) {
    for (int edge : {r.left, r.top, r.right, r.bottom}) {
        Put(out, static_cast<std::uint32_t>(edge), 2);
    }
}

// A change packet of `rects` whose count says `count` (their number when negative).
Bytes Packet(std::vector<Rect> const& rects, int bytesPerPixel, std::int64_t count = -1) {
    Bytes packet;
    Put(packet, static_cast<std::uint32_t>(count < 0 ? rects.size() : count), 4);
    for (Rect const& r : rects) {
        PutEdges(packet, r);
        if (r.right >= r.left && r.bottom >= r.top) {
            Bytes pixels = RectPixels(r, bytesPerPixel);
            packet.insert(packet.end(), pixels.begin(), pixels.end());
        }
    }
    return packet;
}

ScreenChangeNetMsg Send(Bytes const& packet, tagSIZE origin, int depth, bool jpeg, int quality = 90,
                        int level = 9) {
    return ScreenEncoder::Encode(packet.data(), static_cast<unsigned long>(packet.size()), origin, 42,
                                 {static_cast<unsigned char>(depth), jpeg, quality, level});
}

// A message as the viewer has it: read by the endpoint, then decoded by the displaying state.
struct Received {
    std::unique_ptr<ScreenChangeNetMsg> message;
    ScreenDecoder::Change change;

    ScreenChangeNetMsg const* operator->() const { return message.get(); }
};

// What the viewer makes of a sent message: framed, checked and made by its id.
Received Receive(ScreenChangeNetMsg const& sent) {
    std::string frame = sent.ToString();
    int id = 0;
    char const* data = NetworkMessage::ParseResponse(frame.c_str(), id);
    EXPECT_EQ(id, 5);
    std::unique_ptr<NetworkMessage> message(NetworkMessage::ParseFactory(id, data));
    EXPECT_EQ(message->GetStreamIndex(), 1);
    Received received;
    received.message.reset(dynamic_cast<ScreenChangeNetMsg*>(message.release()));
    received.change = ScreenDecoder::Decode(*received.message);
    return received;
}

// The uncompressed data of a received message: the packet, or the picture list.
Bytes ImageOf(Received const& received) {
    Bytes image;
    DecodeAndUncompress(image, received->GetEncodedData().c_str(), received->GetUncompressedSize());
    return image;
}

std::string Kind(ScreenChangeNetMsg const& sent) {
    std::string data = sent.GetData();
    std::size_t colon = 0;
    for (int i = 0; i < 5; ++i) {
        colon = data.find(':', colon) + 1;
    }
    return data.substr(colon, 3);
}

std::vector<Rect> RectsOf(Received const& received) {
    std::vector<Rect> rects;
    for (auto const& picture : received.change.pictures) {
        rects.push_back({picture.rect.left, picture.rect.top, picture.rect.right, picture.rect.bottom});
    }
    return rects;
}

bool operator==(Rect const& a, Rect const& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Payload(std::string const& width, std::string const& height, std::string const& bytesPerPixel,
                    std::string const& size, std::string const& kind, std::string const& data) {
    return width + ":" + height + ":" + bytesPerPixel + ":7:" + size + ":" + kind + ":" + data;
}

std::string Compressed(Bytes const& bytes) {
    return CompressAndEncode(bytes.data(), static_cast<unsigned int>(bytes.size()));
}

// A picture message for a frame of `side` x `side` whose picture list is `list`.
std::string PictureList(Bytes const& list, int side = 300) {
    std::string s = std::to_string(side);
    return Payload(s, s, "3", std::to_string(list.size()), "JPG", Compressed(list));
}

// The message of `payload` as the viewer draws it: read by the endpoint, then decoded.
Received Decoded(std::string const& payload) {
    Received received;
    received.message = Read<ScreenChangeNetMsg>(payload);
    received.change = ScreenDecoder::Decode(*received.message);
    return received;
}

// The text of the NetworkError that reading or decoding `payload` raises; "<none>" when none.
std::string DecodeError(std::string const& payload) {
    return ErrorText<NetworkError>([&] { Decoded(payload); });
}

Bytes Block(Rect const& r, Bytes const& picture, std::int64_t declared = -1) {
    Bytes block;
    PutEdges(block, r);
    Put(block, static_cast<std::uint32_t>(declared < 0 ? picture.size() : declared), 4);
    block.insert(block.end(), picture.begin(), picture.end());
    return block;
}

Bytes Png(int width, int height) {
    return ScreenLike(width, height).Encode(Picture::Format::Png);
}

Bytes operator+(Bytes a, Bytes const& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Every depth with JPEG on and off, through the encoder, the message and the decoder: the path
// taken, the fields, and what the viewer gets back. Raw packets come back exactly at whatever
// zlib level the sender chose; PNG pictures exactly as thresholded or reduced; JPEG pictures
// within the loss of quality 90.
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
    tagSIZE const origin = {300, 200};
    std::vector<Rect> const rects = {{10, 20, 74, 60}, {250, 190, 261, 197}};
    for (Case const& c : cases) {
        SCOPED_TRACE(std::to_string(c.depth) + (c.jpeg ? " with JPEG" : "") + " at level " +
                     std::to_string(c.level));
        int bytesPerPixel = c.depth <= 4 ? 3 : c.depth / 8;
        Bytes packet = Packet(rects, bytesPerPixel);
        ScreenChangeNetMsg sent = Send(packet, origin, c.depth, c.jpeg, 90, c.level);
        EXPECT_EQ(Kind(sent), c.pictures ? "JPG" : "ZIP");
        Received received = Receive(sent);
        EXPECT_EQ(received->GetData(), "");
        EXPECT_EQ(received->GetOriginResolution().cx, 300);
        EXPECT_EQ(received->GetOriginResolution().cy, 200);
        EXPECT_EQ(received->GetColorDepth(), bytesPerPixel);
        EXPECT_EQ(received->GetTiming(), 42);
        EXPECT_EQ(received->IsJpeg(), c.pictures);
        // The zlib header names the level's class: fastest, fast, default or best.
        int const levelClass = c.level < 2 ? 0 : c.level < 6 ? 1 : c.level == 6 ? 2 : 3;
        EXPECT_EQ(static_cast<unsigned char>(received->GetEncodedData().at(1)) >> 6, levelClass);
        if (!c.pictures) {
            std::string fields =
                "300:200:" + std::to_string(bytesPerPixel) + ":42:" + std::to_string(packet.size()) + ":ZIP:";
            EXPECT_EQ(sent.GetData().substr(0, fields.size()), fields);
            EXPECT_EQ(received.change.packet, packet);
            EXPECT_TRUE(received.change.pictures.empty());
            continue;
        }
        ASSERT_EQ(RectsOf(received), rects);
        for (std::size_t i = 0; i < rects.size(); ++i) {
            Rect const& r = rects[i];
            Bytes pixels = RectPixels(r, bytesPerPixel);
            Picture expected = Picture::FromPixels(pixels.data(), r.Width(), r.Height(), 8 * bytesPerPixel,
                                                   r.Width() * bytesPerPixel);
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
                          12.0);  // thin dark strokes lose colour to the halved chroma
            }
        }
    }
    // Each picture message reports what the pictures and then zlib saved.
    EXPECT_EQ(log.Count("Jpeg compression for size "), 6);
    EXPECT_EQ(log.Count("ZIP compressed jpeg to "), 6);
}

// The quality handed in is clamped into 1..100, so the best quality stays the best.
TEST(ScreenCodecTest, JpegQualityIsClampedNotWrapped) {
    Rect const r = {0, 0, 24, 16};
    Bytes const pixels = RectPixels(r, 3);
    for (int quality : {100, 150, 50, 1, 0, -5}) {
        SCOPED_TRACE(quality);
        Received received = Receive(Send(Packet({r}, 3), {24, 16}, 24, true, quality));
        Bytes list = ImageOf(received);
        int effective = quality > 100 ? 100 : quality < 1 ? 1 : quality;
        EXPECT_EQ(Bytes(list.begin() + 12, list.end()),
                  Picture::EncodeJpeg(pixels.data(), 24, 16, 24, 72, effective));
    }
}

// The sender walks only complete rectangles: the walk ends at the count, at a rectangle that
// runs past the packet (sizes in 64 bits: no wrap-around lets one through) and at reversed
// edges. A packet without a complete rectangle goes as it is.
TEST(ScreenCodecTest, PicturesAreMadeOfCompleteRectanglesOnly) {
    Rect const a = {0, 0, 30, 20}, b = {40, 10, 47, 13}, c = {5, 100, 25, 140};
    Bytes cut = Packet({a, b, c}, 3);
    cut.resize(cut.size() - 5);
    Bytes reversed = Packet({a, {20, 0, 10, 5}, b}, 3);
    Bytes wrapping = Packet({a}, 3, 2);
    PutEdges(wrapping, {0, 0, 65535, 21846});  // 65535 x 21846 x 3 is 65534 in 32 bits
    wrapping.resize(wrapping.size() + 65534);
    struct Case {
        char const* what;
        Bytes packet;
        std::vector<Rect> pictures;  // none: the packet goes as it is
    };
    Case const cases[] = {
        {"the last rectangle is cut short", cut, {a, b}},
        {"the count promises more", Packet({a, b}, 3, 1000), {a, b}},
        {"the count promises fewer", Packet({a, b}, 3, 1), {a}},
        {"reversed edges end the packet", reversed, {a}},
        {"empty rectangles are skipped", Packet({a, {5, 5, 5, 9}, b, {1, 1, 9, 1}}, 3), {a, b}},
        {"a size that wraps in 32 bits", wrapping, {a}},
        {"no room for a count", Bytes{1, 0, 0}, {}},
        {"a count of 0", Packet({a}, 3, 0), {}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.what);
        ScreenChangeNetMsg sent = Send(c.packet, {300, 200}, 24, true);
        Received received = Receive(sent);
        EXPECT_EQ(received->IsJpeg(), !c.pictures.empty());
        if (c.pictures.empty()) {
            EXPECT_EQ(ImageOf(received), c.packet);
        } else {
            EXPECT_EQ(RectsOf(received), c.pictures);
        }
    }
}

// A rectangle that cannot become a picture, or pictures larger than the viewer accepts, send
// the whole packet as it is rather than losing the rectangles after it.
TEST(ScreenCodecTest, PacketsThatDoNotMakePicturesGoAsTheyAre) {
    LogCapture log;
    Bytes tooWide = Packet({{0, 0, 30, 20}, {0, 30, Picture::kMaxSide + 1, 31}}, 3);
    for (int depth : {24, 4}) {
        SCOPED_TRACE(depth);
        Received received = Receive(Send(tooWide, {Picture::kMaxSide + 1, 40}, depth, true));
        EXPECT_FALSE(received->IsJpeg());
        EXPECT_EQ(ImageOf(received), tooWide);
    }
    EXPECT_EQ(log.Count("Cannot create image in memory for jpeg"), 2);

    // Noise at the best quality takes more than a tiny frame allows for its pictures.
    std::mt19937 random(7);
    Bytes noise = Packet({}, 3, 1);
    PutEdges(noise, {0, 0, 300, 200});
    for (int i = 0; i < 300 * 200 * 3; ++i) {
        noise.push_back(static_cast<unsigned char>(random()));
    }
    EXPECT_EQ(Kind(Send(noise, {16, 16}, 24, true, 100)), "ZIP");
    // A frame of its own size takes it.
    Received whole = Receive(Send(noise, {300, 200}, 24, true, 100));
    EXPECT_TRUE(whole->IsJpeg());
    // Noise at the best quality takes about 2 bytes per pixel: half what a frame allows.
    EXPECT_LT(whole->GetUncompressedSize(), 300u * 200 * 5 / 2);
}

// Payloads as a careless or hostile peer may send them: each is refused with its own text, and
// the size a peer announces is held to what a frame of its resolution can need.
TEST(ScreenCodecTest, HostilePayloadsAreRefused) {
    Bytes const raw = Packet({{0, 0, 10, 10}}, 3);  // 312 bytes: the most a 10 x 10 frame needs
    ASSERT_EQ(ScreenChangeNetMsg::MaxPacketSize({10, 10}, 3), raw.size());
    std::string const packed = Compressed(raw);
    std::string const tiny = std::to_string(ScreenChangeNetMsg::MaxPictureListSize({8, 8}) + 1);
    Bytes const png = Png(8, 8);
    Bytes const twice = Block({0, 0, 8, 8}, png) + Block({0, 0, 8, 8}, png);
    struct Case {
        char const* what;
        std::string payload;
        std::string error;
    };
    Case const cases[] = {
        {"a whole raw packet", Payload("10", "10", "3", "312", "ZIP", packed), "<none>"},
        {"another kind reads as raw", Payload("10", "10", "3", "312", "PNG", packed), "<none>"},
        {"five fields", "10:10:3:7:312", "Invalid ScreenChangeNetMsg fields"},
        {"no width", Payload("0", "10", "3", "312", "ZIP", packed), "ScreenChangeNetMsg fields cannot be 0"},
        {"no height", Payload("10", "x", "3", "312", "ZIP", packed), "ScreenChangeNetMsg fields cannot be 0"},
        {"no depth", Payload("10", "10", "256", "312", "ZIP", packed),
         "ScreenChangeNetMsg fields cannot be 0"},
        {"no size", Payload("10", "10", "3", "0", "JPG", packed), "ScreenChangeNetMsg fields cannot be 0"},
        {"more than the frame needs", Payload("10", "10", "3", "313", "ZIP", packed),
         "Failed to uncompress buffer"},
        {"a negative size", Payload("10", "10", "3", "-1", "ZIP", packed), "Failed to uncompress buffer"},
        {"a size past 32 bits", Payload("10", "10", "3", "4294967608", "ZIP", packed),
         "Failed to uncompress buffer"},
        {"a huge frame", Payload("70000", "70000", "3", "4294967295", "ZIP", packed),
         "Failed to uncompress buffer"},
        {"a negative frame", Payload("-10", "10", "3", "312", "ZIP", packed), "Failed to uncompress buffer"},
        {"less than the data", Payload("10", "10", "3", "311", "ZIP", packed), "Failed to uncompress buffer"},
        {"not compressed", Payload("10", "10", "3", "312", "ZIP", "abc:def"), "Failed to uncompress buffer"},
        {"a list too large for its frame", Payload("8", "8", "3", tiny, "JPG", packed),
         "Failed to uncompress buffer"},
        {"a list of one picture", PictureList(Block({0, 0, 8, 8}, png)), "<none>"},
        {"a block header cut short", PictureList({1, 2, 3, 4, 5}), "Invalid screen change jpeg"},
        {"a picture cut short", PictureList(Block({0, 0, 8, 8}, png, png.size() + 1)),
         "Invalid screen change jpeg"},
        {"a length that wraps", PictureList(Block({0, 0, 8, 8}, png, 0xFFFFFFFF)),
         "Invalid screen change jpeg"},
        {"bytes after the last block", PictureList(Block({0, 0, 8, 8}, png) + Bytes{0, 0, 0}),
         "Invalid screen change jpeg"},
        {"pictures covering more than the frame", PictureList(twice, 8), "Invalid screen change jpeg"},
        {"an empty picture", PictureList(Block({0, 0, 8, 8}, {})), "Invalid screen change image format"},
        {"not a picture", PictureList(Block({0, 0, 8, 8}, Bytes(40, 'x'))),
         "Invalid screen change image format"},
        {"smaller than its rectangle", PictureList(Block({0, 0, 8, 8}, Png(4, 4))),
         "Invalid screen change image format"},
        {"larger than its rectangle", PictureList(Block({0, 0, 8, 8}, Png(8, 9))),
         "Invalid screen change image format"},
        {"transposed", PictureList(Block({0, 0, 8, 4}, Png(4, 8))), "Invalid screen change image format"},
        {"reversed edges", PictureList(Block({8, 8, 0, 0}, png)), "Invalid screen change image format"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DecodeError(c.payload), c.error);
    }
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
    ASSERT_EQ(ScreenChangeNetMsg::MaxRectangles({1024, 1024}, 3), 43u * 43);
    struct Case {
        char const* what;
        std::string payload;
        std::string error;
    };
    Case const cases[] = {
        {"32,000 pictures", pictures(32000, 2000), "Invalid screen change jpeg"},
        {"one picture more than the tiles", pictures(5, 48), "Invalid screen change jpeg"},
        {"a picture per tile", pictures(4, 48), "<none>"},
        {"80,000 rectangles", rectangles(80000, 1024), "Invalid screen change packet"},
        {"one rectangle more than the tiles", rectangles(5, 48), "Invalid screen change packet"},
        {"a rectangle per tile", rectangles(4, 48), "<none>"},
    };
    for (Case const& c : cases) {
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

// Sizes from the peer are read whole and held to what a session sends: a depth above 3 bytes
// per pixel only multiplies what a frame may inflate to (255 on 1024 x 1024 inflated 255 MiB
// from 265 KB), and a size past 32 bits was cut to its low bits and accepted.
TEST(ScreenCodecTest, SizesAreReadWhole) {
    std::string const deep = Compressed(Bytes(64 * 64 * 255, 0));
    Bytes const small = Packet({{0, 0, 29, 1}}, 3);  // 99 bytes
    std::string const wrapped = std::to_string((1ull << 32) + small.size());
    struct Case {
        char const* what;
        std::string payload;
        std::string error;
    };
    Case const cases[] = {
        {"255 bytes per pixel", Payload("64", "64", "255", std::to_string(64 * 64 * 255), "ZIP", deep),
         "Invalid ScreenChangeNetMsg fields"},
        {"4 bytes per pixel",
         Payload("64", "64", "4", std::to_string(64 * 64 * 4), "ZIP", Compressed(Bytes(64 * 64 * 4, 0))),
         "Invalid ScreenChangeNetMsg fields"},
        {"a size 2^32 above the data", Payload("65535", "65535", "3", wrapped, "ZIP", Compressed(small)),
         "Failed to uncompress buffer"},
        {"the data's own size",
         Payload("65535", "65535", "3", std::to_string(small.size()), "ZIP", Compressed(small)), "<none>"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DecodeError(c.payload), c.error);
    }
    std::vector<unsigned char> output;
    EXPECT_EQ(ErrorText<NetworkError>([&] {
                  DecodeAndUncompress(output, Compressed(small).c_str(), (1ull << 32) + small.size());
              }),
              "Failed to uncompress buffer");
    EXPECT_EQ(ReadError<ClipboardNetMsg>(wrapped + ":" + Compressed(small)), "Failed to uncompress buffer");
}

// A screen change payload as a careless or hostile peer might send it: the seven fields with
// borderline numbers and kinds, and data that is a picture list of damaged blocks, a change
// packet, random bytes, or text that is not compressed at all. Self-contained, so that any
// random-input harness can call it.
std::string RandomScreenChangePayload(std::mt19937& random) {
    struct Sample {
        Bytes bytes;
        int width, height;
    };
    static Sample const pictures[] = {
        {Png(4, 4), 4, 4}, {Png(8, 3), 8, 3}, {ScreenLike(5, 5).Encode(Picture::Format::Jpeg, 50), 5, 5}};
    auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
    auto number = [&](std::uint32_t limit) { return static_cast<std::uint32_t>(random() % (limit + 1)); };
    auto pick = [&](auto const& options) { return options[random() % std::size(options)]; };
    Bytes body;
    bool list = chance(60);
    for (int blocks = chance(90) ? 1 + static_cast<int>(number(2)) : 0; blocks > 0; --blocks) {
        Sample sample = pick(pictures);
        int left = static_cast<int>(number(8)), top = static_cast<int>(number(8));
        Rect r = chance(75) ? Rect{left, top, left + sample.width, top + sample.height}
                            : Rect{left, top, static_cast<int>(number(12)), static_cast<int>(number(12))};
        if (chance(20)) {
            sample.bytes.resize(number(static_cast<std::uint32_t>(sample.bytes.size())));
        }
        if (!sample.bytes.empty() && chance(20)) {
            sample.bytes[random() % sample.bytes.size()] ^= static_cast<unsigned char>(1 + random() % 255);
        }
        std::int64_t declared =
            chance(85) ? -1 : pick(std::vector<std::int64_t>{0, 3, 0xFFFFFFF0, number(200)});
        body = body + (list ? Block(r, sample.bytes, declared) : Packet({r}, 3, number(3)));
    }
    for (std::uint32_t extra = chance(20) ? number(64) : 0; extra > 0; --extra) {
        body.push_back(static_cast<unsigned char>(random()));
    }
    std::string size = chance(80)
                           ? std::to_string(body.size())
                           : pick(std::vector<std::string>{"0", "-1", "1", "99999999999", "4294967295"});
    std::string data = chance(90) ? Compressed(body) : std::string(number(20), 'z');
    if (!data.empty() && chance(10)) {
        data[random() % data.size()] = static_cast<char>(1 + random() % 255);
    }
    auto side = [&] {
        return chance(85) ? pick(std::vector<std::string>{"12", "16", "300"})
                          : pick(std::vector<std::string>{"0", "-3", "1", "70000", "x"});
    };
    std::string width = side(), height = side();
    std::string bytesPerPixel = chance(85) ? "3" : pick(std::vector<std::string>{"1", "0", "9", "259"});
    std::string kind = list ? (chance(90) ? "JPG" : "jpg") : pick(std::vector<std::string>{"ZIP", "PNG", ""});
    return Payload(width, height, bytesPerPixel, size, kind, data);
}

// Random payloads raise only the protocol's own errors, whatever they hold.
TEST(ScreenCodecTest, RandomPayloadsRaiseOnlyProtocolErrors) {
    int accepted = 0;
    std::size_t pictures = 0;
    std::set<std::string> errors;
    for (unsigned seed = 1; seed <= 1500; ++seed) {
        std::mt19937 random(seed);
        std::string payload = RandomScreenChangePayload(random);
        SCOPED_TRACE(seed);
        try {
            Received const received = Decoded(payload);
            ++accepted;
            pictures += received.change.pictures.size();
        } catch (NetworkError const& error) {  // format errors included
            errors.insert(error.what());
        }
    }
    // Every way through the reading was taken.
    EXPECT_GT(accepted, 100);
    EXPECT_GT(pictures, 50u);
    EXPECT_EQ(errors.size(), 6u);
}

}  // namespace
