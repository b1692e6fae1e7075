#include "codec/ScreenEncoder.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/ChangePacketReader.h"
#include "foundation/CorvaneLogging.h"
#include "foundation/Errors.h"
#include "foundation/Timer.h"
#include "imaging/Picture.h"
#include "network/SkypeCoder.h"

namespace {

constexpr int kThresholdLevel = 185;

unsigned char BytesPerPixel(unsigned char colorDepth) {
    return colorDepth <= 4 ? 3 : colorDepth / 8;
}

void AppendLittleEndian(std::vector<unsigned char>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
    }
}

// The picture of one rectangle: PNG at depths 4 and below, JPEG above. Raises what Picture
// raises; `created` tells whether the picture was made before that.
std::vector<unsigned char> EncodeRectangle(ChangePacketRecord const& r, unsigned char colorDepth,
                                           unsigned int bytesPerPixel, int jpegQuality, bool& created) {
    int const width = r.rect.right - r.rect.left;
    int const height = r.rect.bottom - r.rect.top;
    int bits = static_cast<int>(8 * bytesPerPixel);
    std::size_t bytesPerLine = static_cast<std::size_t>(width) * bytesPerPixel;
    if (colorDepth > 4) {
        return Picture::EncodeJpeg(r.pixels, width, height, bits, bytesPerLine, jpegQuality);
    }
    Picture picture = Picture::FromPixels(r.pixels, width, height, bits, bytesPerLine);
    created = true;
    if (colorDepth == 1) {
        picture.Threshold(kThresholdLevel);
    } else if (colorDepth == 4) {
        picture.ReduceTo16Colours();
    }
    return picture.Encode(Picture::Format::Png);
}

// Fills `list` with a block per complete rectangle; false (send the packet as it is) when
// there is none, when a rectangle cannot be made into a picture (the rest would be lost), or
// when the list outgrows what the viewer accepts for a frame of `origin`.
bool EncodePictures(void const* packet, unsigned long packetSize, tagSIZE origin,
                    ScreenEncoder::Settings const& settings, std::vector<unsigned char>& list) {
    std::uint64_t const limit = ScreenChangeNetMsg::MaxPictureListSize(origin);
    int const quality = std::clamp(settings.jpegQuality, 1, 100);
    unsigned char const bytesPerPixel = BytesPerPixel(settings.colorDepth);
    ChangePacketReader reader(packet, packetSize, bytesPerPixel);
    ChangePacketRecord rectangle;
    while (reader.Next(rectangle)) {
        if (rectangle.rect.right == rectangle.rect.left || rectangle.rect.bottom == rectangle.rect.top) {
            continue;  // nothing to show
        }
        bool created = false;
        std::vector<unsigned char> picture;
        try {
            picture = EncodeRectangle(rectangle, settings.colorDepth, bytesPerPixel, quality, created);
        } catch (BaseError const&) {
            CORVANE_LOG((created ? "Cannot encode jpeg" : "Cannot create image in memory for jpeg"));
            return false;
        }
        if (list.size() + ScreenChangeNetMsg::kPictureBlockHeader + picture.size() > limit) {
            CORVANE_LOG("Pictures larger than the frame allows: sending the packet as it is");
            return false;
        }
        for (LONG edge :
             {rectangle.rect.left, rectangle.rect.top, rectangle.rect.right, rectangle.rect.bottom}) {
            AppendLittleEndian(list, static_cast<std::uint32_t>(edge), 2);
        }
        AppendLittleEndian(list, static_cast<std::uint32_t>(picture.size()), 4);
        list.insert(list.end(), picture.begin(), picture.end());
    }
    return !list.empty();
}

}  // namespace

ScreenChangeNetMsg ScreenEncoder::Encode(void const* packet, unsigned long packetSize, tagSIZE origin,
                                         int timing, Settings const& settings) {
    return ToMessage(EncodePayload(packet, packetSize, origin, settings), origin, settings.colorDepth,
                     timing);
}

ScreenEncoder::Payload ScreenEncoder::EncodePayload(void const* packet, unsigned long packetSize,
                                                    tagSIZE origin, Settings const& settings) {
    unsigned char const depth = settings.colorDepth;
    std::vector<unsigned char> list;
    Payload payload;
    if ((settings.useJpeg && depth != 16) || depth <= 4) {
        Timer timer(true);
        payload.pictures = EncodePictures(packet, packetSize, origin, settings, list);
        if (payload.pictures) {
            CORVANE_LOG("Jpeg compression for size "
                        << packetSize << " took " << timer.GetTimeInSec() << " and produced " << list.size()
                        << " buffer ( "
                        << static_cast<long long>(packetSize) - static_cast<long long>(list.size())
                        << " saved)");
        }
    }
    payload.data =
        payload.pictures
            ? CompressAndEncode(list.data(), static_cast<unsigned int>(list.size()), settings.zlibLevel)
            : CompressAndEncode(packet, static_cast<unsigned int>(packetSize), settings.zlibLevel);
    if (payload.pictures) {
        CORVANE_LOG("ZIP compressed jpeg to "
                    << payload.data.size() << " ("
                    << static_cast<long long>(list.size()) - static_cast<long long>(payload.data.size())
                    << " saved)");
    }
    payload.size = payload.pictures ? list.size() : packetSize;
    return payload;
}

ScreenChangeNetMsg ScreenEncoder::ToMessage(Payload const& payload, tagSIZE origin, unsigned char colorDepth,
                                            int timing) {
    return ScreenChangeNetMsg(origin, BytesPerPixel(colorDepth), timing, payload.pictures, payload.size,
                              payload.data);
}

// Measured on screen content (bench/screenchange), a full 1280 x 1024 change: levels 1 to 3
// skip lazy matching and are the fastest; 4 is the cheapest level with it and halves flat
// content; 7 comes within a few percent of 9's size, while 8 and 9 search chains long enough to
// take 3 to 6 times as long on photo-like areas (a 16-bit frame: 41 ms at 1, 57 ms at 4, 105 ms
// at 7, 393 ms at 9). The pick minimises compressing plus sending; a rate measured low (it
// counts the messenger's own delay) costs at most level 7's time.
int ScreenEncoder::ChooseZlibLevel(int sendCps) {
    constexpr int kFastLink = 2000000;  // bytes a second
    constexpr int kSlowLink = 300000;
    if (sendCps <= 0 || sendCps >= kFastLink) {
        return 1;
    }
    return sendCps >= kSlowLink ? 4 : 7;
}
