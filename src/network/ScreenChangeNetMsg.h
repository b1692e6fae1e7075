#pragma once

#include <windows.h>

#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "network/NetworkMessageBase.h"

class Picture;

// One batch of changed screen rectangles from the sharing side to the viewer, the only
// message of the screen stream. The payload is seven fields joined by ":":
//   origin width, origin height, bytes per pixel, timing, uncompressed size, kind, data
// where the data is CompressAndEncode of either the change packet itself (kind "ZIP") or of a
// picture list (kind "JPG"): per rectangle its four u16 edges, a u32 byte count and that many
// bytes of a JPEG or PNG picture, little-endian, blocks back to back.
//
// A change packet is a u32 rectangle count, then per rectangle left, top, right, bottom as
// u16 (right and bottom exclusive) and its pixels, rows top-down and unpadded, at 1 (3-3-2),
// 2 (5-6-5) or 3 (B, G, R) bytes per pixel.
//
// The sharing side builds messages on its tracker's thread ("DesktopTracker"); the protocol
// endpoint reads received ones on "SkypeEvent" for every contact in every state, so reading
// only checks the fields and keeps the data: the state that draws the message decodes it.
// Messages are plain values used by one thread at a time; copies share the decoded pictures.
class ScreenChangeNetMsg : public NetworkMessageBase<ScreenChangeNetMsg, 5, 1> {
public:
    // A received picture and the rectangle it covers, whose size it has.
    struct JpegImageInfo {
        RECT rect;
        boost::shared_ptr<Picture> image;
    };

    // An empty message, for the registry.
    ScreenChangeNetMsg();
    // Builds the payload from `packetSize` bytes of a change packet (null only when the size is
    // 0) taken from a frame of `originResolution`, at `colorDepth` bits per pixel (1, 4, 8, 16
    // or 24; the packet has 3 bytes per pixel for 4 and below). Depths 1 and 4 send PNG pictures
    // (thresholded, or reduced to 16 colours), 8 and 24 send JPEG pictures of `jpegQuality`
    // (clamped into 1..100) when `useJpeg` is set; anything else, and a packet that does not
    // make pictures, goes as it is. The message keeps no copy of the packet. Raises NetworkError
    // "Failed to compress buffer" only. Called on the thread that sends screen changes.
    ScreenChangeNetMsg(void const* packet, tagSIZE originResolution, unsigned char colorDepth,
                       unsigned long packetSize, int timing, bool useJpeg, int jpegQuality);

    tagSIZE GetOriginResolution() const { return mOriginResolution; }
    // Bytes per pixel of the packet, despite the name.
    unsigned char GetColorDepth() const { return mBytesPerPixel; }
    // What Decode uncompressed: the change packet, or for a picture message the picture list.
    // Null when there is none (before Decode, and always on the sending side).
    void const* GetImage() const { return mImage.empty() ? nullptr : mImage.data(); }
    unsigned int GetImageDataSize() const { return static_cast<unsigned int>(mImage.size()); }
    bool IsJpeg() const { return mJpeg; }
    // The pictures Decode made of a picture message, in the order they arrived.
    std::vector<JpegImageInfo> const& GetJpegImages() const { return mPictures; }
    // Milliseconds since the sharing side's previous change, passed through.
    int GetTiming() const { return mTiming; }

    // Uncompresses a received message's data and, for a picture message, decodes its
    // pictures; until then the image is null and there are no pictures. Costs time and memory
    // in proportion to the frame, so only the state that draws the message calls it, on
    // "SkypeEvent"; a second call does nothing. Raises NetworkError "Failed to uncompress
    // buffer", "Invalid screen change packet" (more rectangles than the frame has tiles),
    // "Invalid screen change jpeg" (a block past the end of the list, more pictures than the
    // frame has tiles, or pictures covering more than the frame) or "Invalid screen change
    // image format" (not a picture, or not of its rectangle's size). Nothing on the sending side.
    void Decode() const;

    // The most rectangles a change packet of a frame of `origin` at `bytesPerPixel` holds: as
    // many as a mirror driver's change list of that frame, one per tile of 8 x bytes per pixel
    // pixels. A picture message holds one picture per rectangle.
    static std::uint64_t MaxRectangles(tagSIZE origin, unsigned int bytesPerPixel);
    // The largest change packet a frame of `origin` can give at `bytesPerPixel`: its pixels,
    // a count and MaxRectangles headers.
    static std::uint64_t MaxPacketSize(tagSIZE origin, unsigned int bytesPerPixel);
    // The largest picture list accepted for a frame of `origin`: four bytes per pixel of the
    // frame and 64 KB for the pictures' own headers. The sender sends a packet whose pictures
    // would take more as it is.
    static std::uint64_t MaxPictureListSize(tagSIZE origin);

protected:
    // Reads the fields and keeps the encoded data for Decode, in time linear in the data's
    // length. Raises NetworkMessageFormatError "Invalid ScreenChangeNetMsg fields" (fewer than
    // seven fields, or bytes per pixel other than 1, 2 or 3) or "ScreenChangeNetMsg fields
    // cannot be 0", and NetworkError "Failed to uncompress buffer" for a size above what a
    // frame of the origin can need. The data stays empty: the image is the content.
    void ParseNetworkMessage(char const* data) override;

private:
    bool EncodePictures(void const* packet, unsigned long packetSize, unsigned char colorDepth,
                        int jpegQuality, std::vector<unsigned char>& list) const;

    unsigned char mBytesPerPixel = 0;
    tagSIZE mOriginResolution = {0, 0};
    bool mJpeg = false;
    int mTiming = 0;
    // What a received message's data holds: the encoded text and its uncompressed size (0
    // on the sending side: there is nothing to decode).
    std::string mEncoded;
    std::uint64_t mSize = 0;
    // Filled by Decode, which may be asked for through a const message.
    mutable bool mDecoded = false;
    mutable std::vector<unsigned char> mImage;
    mutable std::vector<JpegImageInfo> mPictures;
};
