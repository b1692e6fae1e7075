#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "network/NetworkMessageBase.h"

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
// The message carries bytes only: ScreenEncoder writes the data, ScreenDecoder reads it. The
// protocol endpoint reads received messages on "SkypeEvent" for every contact in every state,
// so reading only checks the fields and keeps the data; the state that draws the message
// decodes it. Messages are plain values used by one thread at a time.
class ScreenChangeNetMsg : public NetworkMessageBase<ScreenChangeNetMsg, 5, 1> {
public:
    // A picture list block's header: four u16 edges and the picture's u32 byte count.
    static constexpr std::size_t kPictureBlockHeader = 12;

    // An empty message, for the registry.
    ScreenChangeNetMsg();
    // A message of already encoded `data` (CompressAndEncode of `size` bytes: the change packet,
    // or the picture list when `pictures` is set) from a frame of `originResolution` at
    // `bytesPerPixel`. Nothing is checked: the encoder is the one caller. Any thread.
    ScreenChangeNetMsg(tagSIZE originResolution, unsigned char bytesPerPixel, int timing, bool pictures,
                       std::uint64_t size, std::string const& data);

    tagSIZE GetOriginResolution() const { return mOriginResolution; }
    // Bytes per pixel of the packet, despite the name.
    unsigned char GetColorDepth() const { return mBytesPerPixel; }
    // Whether the data is a picture list rather than the change packet.
    bool IsJpeg() const { return mJpeg; }
    // Milliseconds since the sharing side's previous change, passed through.
    int GetTiming() const { return mTiming; }
    // A received message's data as it came (empty on the sending side) and the size it
    // uncompresses to, checked against the origin when read.
    std::string const& GetEncodedData() const { return mEncoded; }
    std::uint64_t GetUncompressedSize() const { return mSize; }

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
    // Pixels of a frame of `origin` as far as u16 edges can address it; 0 for a negative side.
    static std::uint64_t FramePixels(tagSIZE origin);

protected:
    // Reads the fields and keeps the encoded data for the decoder, in time linear in the
    // data's length. Raises NetworkMessageFormatError "Invalid ScreenChangeNetMsg fields" (fewer than
    // seven fields, or bytes per pixel other than 1, 2 or 3) or "ScreenChangeNetMsg fields
    // cannot be 0", and NetworkError "Failed to uncompress buffer" for a size above what a
    // frame of the origin can need. GetData stays empty: the encoded data is the content.
    void ParseNetworkMessage(char const* data) override;

private:
    unsigned char mBytesPerPixel = 0;
    tagSIZE mOriginResolution = {0, 0};
    bool mJpeg = false;
    int mTiming = 0;
    std::uint64_t mSize = 0;
    std::string mEncoded;  // only a received message's: the sending one has it in its payload
};
