#include "codec/ScreenDecoder.h"

#include <boost/make_shared.hpp>

#include <algorithm>
#include <cstdint>

#include "capture/ChangePacketReader.h"
#include "foundation/Errors.h"
#include "imaging/Picture.h"
#include "network/ScreenChangeNetMsg.h"
#include "network/SkypeCoder.h"

namespace {

constexpr std::size_t kRectangleHeader = 8;  // four u16 edges

std::uint32_t ReadLittleEndian(unsigned char const* p, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = value << 8 | p[i];
    }
    return value;
}

RECT ReadEdges(unsigned char const* p) {
    return {static_cast<LONG>(ReadLittleEndian(p, 2)), static_cast<LONG>(ReadLittleEndian(p + 2, 2)),
            static_cast<LONG>(ReadLittleEndian(p + 4, 2)), static_cast<LONG>(ReadLittleEndian(p + 6, 2))};
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
    constexpr std::size_t kBlockHeader = ScreenChangeNetMsg::kPictureBlockHeader;
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
std::vector<ScreenDecoder::JpegImageInfo> DecodePictures(std::vector<unsigned char> const& list,
                                                         tagSIZE origin, unsigned int bytesPerPixel) {
    std::vector<PictureBlock> const blocks =
        ReadBlocks(list, ScreenChangeNetMsg::MaxRectangles(origin, bytesPerPixel),
                   std::min(ScreenChangeNetMsg::FramePixels(origin), Picture::kMaxPixels));
    std::vector<ScreenDecoder::JpegImageInfo> pictures;
    pictures.reserve(blocks.size());
    for (PictureBlock const& block : blocks) {
        pictures.push_back({block.rect, DecodePicture(block.bytes, block.length, block.rect)});
    }
    return pictures;
}

}  // namespace

ScreenDecoder::Change ScreenDecoder::Decode(ScreenChangeNetMsg const& message) {
    Change change;
    if (message.GetUncompressedSize() == 0) {  // an empty message
        return change;
    }
    tagSIZE const origin = message.GetOriginResolution();
    unsigned int const bytesPerPixel = message.GetColorDepth();
    std::vector<unsigned char> image;
    DecodeAndUncompress(image, message.GetEncodedData().c_str(), message.GetUncompressedSize());
    if (message.IsJpeg()) {
        change.pictures = DecodePictures(image, origin, bytesPerPixel);
    } else {
        CheckRectangles(image, bytesPerPixel, ScreenChangeNetMsg::MaxRectangles(origin, bytesPerPixel));
        change.packet.swap(image);
    }
    return change;
}
