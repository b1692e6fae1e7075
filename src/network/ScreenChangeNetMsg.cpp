#include "network/ScreenChangeNetMsg.h"

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/Errors.h"
#include "foundation/StringHelper.h"
#include "network/SkypeCoder.h"

namespace {

constexpr std::uint64_t kCountSize = 4;
constexpr std::uint64_t kRectangleHeader = 8;  // four u16 edges
constexpr std::uint64_t kPictureBytesPerPixel = 4;
constexpr std::uint64_t kPictureHeadersReserve = 64 * 1024;
constexpr int kMaxBytesPerPixel = 3;  // the depths sessions use: 3-3-2, 5-6-5 and B, G, R
// Rectangle edges are u16, so no frame side beyond this can be addressed.
constexpr std::uint64_t kMaxFrameSide = 65536;

char const kPictureKind[] = "JPG";
char const kRawKind[] = "ZIP";

// A frame side as far as a packet can use it; nothing for a negative one.
std::uint64_t UsableSide(LONG side) {
    return std::min<std::uint64_t>(static_cast<std::uint64_t>(std::max<LONG>(side, 0)), kMaxFrameSide);
}

}  // namespace

ScreenChangeNetMsg::ScreenChangeNetMsg() = default;

ScreenChangeNetMsg::ScreenChangeNetMsg(tagSIZE originResolution, unsigned char bytesPerPixel, int timing,
                                       bool pictures, std::uint64_t size, std::string const& data)
    : mBytesPerPixel(bytesPerPixel),
      mOriginResolution(originResolution),
      mJpeg(pictures),
      mTiming(timing),
      mSize(size) {
    mData = std::to_string(originResolution.cx) + ":" + std::to_string(originResolution.cy) + ":" +
            std::to_string(bytesPerPixel) + ":" + std::to_string(timing) + ":" + std::to_string(size) + ":" +
            (pictures ? kPictureKind : kRawKind) + ":" + data;
}

std::uint64_t ScreenChangeNetMsg::FramePixels(tagSIZE origin) {
    return UsableSide(origin.cx) * UsableSide(origin.cy);
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
}
