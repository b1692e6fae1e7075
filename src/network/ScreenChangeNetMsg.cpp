#include "network/ScreenChangeNetMsg.h"

#include <boost/make_shared.hpp>

#include <algorithm>
#include <string>

#include "capture/ChangePacketReader.h"
#include "foundation/CorvaneLogging.h"
#include "foundation/Errors.h"
#include "foundation/StringHelper.h"
#include "foundation/Timer.h"
#include "imaging/Picture.h"
#include "network/SkypeCoder.h"

namespace {

constexpr std::size_t kCountSize = 4;
constexpr std::size_t kRectangleHeader = 8;  // four u16 edges
constexpr std::size_t kBlockHeader = 12;     // the edges and the picture's byte count
constexpr int kThresholdLevel = 185;
constexpr std::uint64_t kPictureBytesPerPixel = 4;
constexpr std::uint64_t kPictureHeadersReserve = 64 * 1024;
constexpr int kMaxBytesPerPixel = 3;  // the depths sessions use: 3-3-2, 5-6-5 and B, G, R
// Rectangle edges are u16, so no frame side beyond this can be addressed.
constexpr std::uint64_t kMaxFrameSide = 65536;

char const kPictureKind[] = "JPG";
char const kRawKind[] = "ZIP";

std::uint32_t ReadLittleEndian(unsigned char const* p, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = value << 8 | p[i];
    }
    return value;
}

void AppendLittleEndian(std::vector<unsigned char>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
    }
}

RECT ReadEdges(unsigned char const* p) {
    return {static_cast<LONG>(ReadLittleEndian(p, 2)), static_cast<LONG>(ReadLittleEndian(p + 2, 2)),
            static_cast<LONG>(ReadLittleEndian(p + 4, 2)), static_cast<LONG>(ReadLittleEndian(p + 6, 2))};
}

// A frame side as far as a packet can use it; nothing for a negative one.
std::uint64_t UsableSide(LONG side) {
    return std::min<std::uint64_t>(static_cast<std::uint64_t>(std::max<LONG>(side, 0)), kMaxFrameSide);
}

std::uint64_t FramePixels(tagSIZE origin) {
    return UsableSide(origin.cx) * UsableSide(origin.cy);
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

// A received picture that has exactly the size of its rectangle.
boost::shared_ptr<Picture> DecodePicture(unsigned char const* bytes, std::size_t size, RECT const& rect) {
    LONG width = rect.right - rect.left;
    LONG height = rect.bottom - rect.top;
    if (width > 0 && height > 0) {
        try {
            auto picture = boost::make_shared<Picture>(
                Picture::Decode(bytes, size, static_cast<std::uint64_t>(width) * height));
            if (picture->GetWidth() == width && picture->GetHeight() == height) {
                return picture;
            }
        } catch (BaseError const&) {
        }
    }
    Raise(NetworkError("Invalid screen change image format"));
}

// Decoding a received message's data, apart from the message itself.

// A raw change packet holds at most `maxRectangles` rectangles.
void CheckRectangles(std::vector<unsigned char> const& packet, unsigned int bytesPerPixel,
                     std::uint64_t maxRectangles) {
    ChangePacketReader reader(packet.data(), packet.size(), static_cast<int>(bytesPerPixel));
    ChangePacketRecord record;
    for (std::uint64_t count = 0; reader.Next(record);) {
        if (++count > maxRectangles) {
            Raise(NetworkError("Invalid screen change packet"));
        }
    }
}

struct PictureBlock {
    RECT rect;
    unsigned char const* bytes;
    std::size_t length;
};

// The blocks of a picture list, every one inside the list, at most `maxPictures` of them,
// covering together at most `maxPixels`: all checked before any picture is decoded, since
// decoding is what costs.
std::vector<PictureBlock> ReadBlocks(std::vector<unsigned char> const& list, std::uint64_t maxPictures,
                                     std::uint64_t maxPixels) {
    std::vector<PictureBlock> blocks;
    std::size_t const size = list.size();
    for (std::size_t offset = 0; offset < size;) {
        unsigned char const* block = list.data() + offset;
        if (blocks.size() >= maxPictures || size - offset < kBlockHeader ||
            ReadLittleEndian(block + kRectangleHeader, 4) > size - offset - kBlockHeader) {
            Raise(NetworkError("Invalid screen change jpeg"));
        }
        RECT rect = ReadEdges(block);
        std::size_t length = ReadLittleEndian(block + kRectangleHeader, 4);
        std::uint64_t area =
            rect.right > rect.left && rect.bottom > rect.top
                ? static_cast<std::uint64_t>(rect.right - rect.left) * (rect.bottom - rect.top)
                : 0;
        if (area > maxPixels) {
            Raise(NetworkError("Invalid screen change jpeg"));
        }
        maxPixels -= area;
        blocks.push_back({rect, block + kBlockHeader, length});
        offset += kBlockHeader + length;
    }
    return blocks;
}

// The pictures of one frame's change: at most one per tile of the frame, and together at
// most the frame (and what one picture may hold).
std::vector<ScreenChangeNetMsg::JpegImageInfo> DecodePictures(std::vector<unsigned char> const& list,
                                                              tagSIZE origin, unsigned int bytesPerPixel) {
    std::vector<PictureBlock> const blocks =
        ReadBlocks(list, ScreenChangeNetMsg::MaxRectangles(origin, bytesPerPixel),
                   std::min(FramePixels(origin), Picture::kMaxPixels));
    std::vector<ScreenChangeNetMsg::JpegImageInfo> pictures;
    pictures.reserve(blocks.size());
    for (PictureBlock const& block : blocks) {
        pictures.push_back({block.rect, DecodePicture(block.bytes, block.length, block.rect)});
    }
    return pictures;
}

}  // namespace

ScreenChangeNetMsg::ScreenChangeNetMsg() = default;

ScreenChangeNetMsg::ScreenChangeNetMsg(void const* packet, tagSIZE originResolution, unsigned char colorDepth,
                                       unsigned long packetSize, int timing, bool useJpeg, int jpegQuality)
    : mBytesPerPixel(colorDepth <= 4 ? 3 : colorDepth / 8),
      mOriginResolution(originResolution),
      mTiming(timing) {
    std::vector<unsigned char> list;
    if ((useJpeg && colorDepth != 16) || colorDepth <= 4) {
        Timer timer(true);
        mJpeg = EncodePictures(packet, packetSize, colorDepth, jpegQuality, list);
        if (mJpeg) {
            CORVANE_LOG("Jpeg compression for size "
                        << packetSize << " took " << timer.GetTimeInSec() << " and produced " << list.size()
                        << " buffer ( "
                        << static_cast<long long>(packetSize) - static_cast<long long>(list.size())
                        << " saved)");
        }
    }
    std::string encoded = mJpeg ? CompressAndEncode(list.data(), static_cast<unsigned int>(list.size()))
                                : CompressAndEncode(packet, static_cast<unsigned int>(packetSize));
    if (mJpeg) {
        CORVANE_LOG("ZIP compressed jpeg to "
                    << encoded.size() << " ("
                    << static_cast<long long>(list.size()) - static_cast<long long>(encoded.size())
                    << " saved)");
    }
    std::size_t size = mJpeg ? list.size() : packetSize;
    mData = std::to_string(originResolution.cx) + ":" + std::to_string(originResolution.cy) + ":" +
            std::to_string(mBytesPerPixel) + ":" + std::to_string(timing) + ":" + std::to_string(size) + ":" +
            (mJpeg ? kPictureKind : kRawKind) + ":" + encoded;
}

// Fills `list` with a block per complete rectangle; false (send the packet as it is) when
// there is none, when a rectangle cannot be made into a picture (the rest would be lost), or
// when the list outgrows what the viewer accepts.
bool ScreenChangeNetMsg::EncodePictures(void const* packet, unsigned long packetSize,
                                        unsigned char colorDepth, int jpegQuality,
                                        std::vector<unsigned char>& list) const {
    std::uint64_t const limit = MaxPictureListSize(mOriginResolution);
    int const quality = std::clamp(jpegQuality, 1, 100);
    ChangePacketReader reader(packet, packetSize, mBytesPerPixel);
    ChangePacketRecord rectangle;
    while (reader.Next(rectangle)) {
        if (rectangle.rect.right == rectangle.rect.left || rectangle.rect.bottom == rectangle.rect.top) {
            continue;  // nothing to show
        }
        bool created = false;
        std::vector<unsigned char> picture;
        try {
            picture = EncodeRectangle(rectangle, colorDepth, mBytesPerPixel, quality, created);
        } catch (BaseError const&) {
            CORVANE_LOG((created ? "Cannot encode jpeg" : "Cannot create image in memory for jpeg"));
            return false;
        }
        if (list.size() + kBlockHeader + picture.size() > limit) {
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

std::uint64_t ScreenChangeNetMsg::MaxRectangles(tagSIZE origin, unsigned int bytesPerPixel) {
    std::uint64_t tile = 8 * static_cast<std::uint64_t>(std::max(bytesPerPixel, 1u));
    return (UsableSide(origin.cx) + tile - 1) / tile * ((UsableSide(origin.cy) + tile - 1) / tile);
}

std::uint64_t ScreenChangeNetMsg::MaxPacketSize(tagSIZE origin, unsigned int bytesPerPixel) {
    return FramePixels(origin) * bytesPerPixel + MaxRectangles(origin, bytesPerPixel) * kRectangleHeader +
           kCountSize;
}

std::uint64_t ScreenChangeNetMsg::MaxPictureListSize(tagSIZE origin) {
    return FramePixels(origin) * kPictureBytesPerPixel + kPictureHeadersReserve;
}

void ScreenChangeNetMsg::ParseNetworkMessage(char const* data) {
    std::vector<std::string> fields;
    char const* encoded = StringHelper::GetParts(data, 6, fields, ':');
    if (encoded == nullptr) {
        Raise(NetworkMessageFormatError("Invalid ScreenChangeNetMsg fields"));
    }
    mOriginResolution = {StringHelper::ToInt(fields[0].c_str()), StringHelper::ToInt(fields[1].c_str())};
    mBytesPerPixel = static_cast<unsigned char>(StringHelper::ToInt(fields[2].c_str()));
    mTiming = StringHelper::ToInt(fields[3].c_str());
    std::int64_t size = StringHelper::ToInt64(fields[4].c_str());
    mJpeg = fields[5] == kPictureKind;
    if (mOriginResolution.cx == 0 || mOriginResolution.cy == 0 || mBytesPerPixel == 0 || size == 0) {
        Raise(NetworkMessageFormatError("ScreenChangeNetMsg fields cannot be 0"));
    }
    // Any other depth would only multiply what a frame may inflate to.
    if (mBytesPerPixel > kMaxBytesPerPixel) {
        Raise(NetworkMessageFormatError("Invalid ScreenChangeNetMsg fields"));
    }
    // A size no frame of the origin's resolution can need is refused before anything is
    // allocated for it; sizes are compared whole, never cut to 32 bits.
    std::uint64_t limit = std::min<std::uint64_t>(
        mJpeg ? MaxPictureListSize(mOriginResolution) : MaxPacketSize(mOriginResolution, mBytesPerPixel),
        kMaxUncompressedSize);
    if (size < 0 || static_cast<std::uint64_t>(size) > limit) {
        Raise(NetworkError("Failed to uncompress buffer"));
    }
    mSize = static_cast<std::uint64_t>(size);
    mEncoded = encoded;
    mDecoded = false;
    mImage.clear();
    mPictures.clear();
}

void ScreenChangeNetMsg::Decode() const {
    if (mDecoded || mSize == 0) {
        return;
    }
    std::vector<unsigned char> image;
    DecodeAndUncompress(image, mEncoded.c_str(), mSize);
    std::vector<JpegImageInfo> pictures;
    if (mJpeg) {
        pictures = DecodePictures(image, mOriginResolution, mBytesPerPixel);
    } else {
        CheckRectangles(image, mBytesPerPixel, MaxRectangles(mOriginResolution, mBytesPerPixel));
    }
    mImage.swap(image);
    mPictures.swap(pictures);
    mDecoded = true;
}
