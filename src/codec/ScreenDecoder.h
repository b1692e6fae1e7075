#pragma once

#include <windows.h>

#include <boost/shared_ptr.hpp>
#include <vector>

class Picture;
class ScreenChangeNetMsg;

// The viewing side's stage between the network and the viewer: what a received screen change
// message holds, uncompressed and checked against its frame, with its pictures decoded. It
// costs time and memory in proportion to the frame, so only the state that draws the message
// runs it, on "SkypeEvent"; reading a message only checks its fields. Static only; any thread.
class ScreenDecoder {
public:
    // A received picture and the rectangle it covers, whose size it has.
    struct JpegImageInfo {
        RECT rect;
        boost::shared_ptr<Picture> image;
    };
    // What one message gave: the change packet of a raw message, or the pictures of a picture
    // message in the order they arrived (the other one empty).
    struct Change {
        std::vector<unsigned char> packet;
        std::vector<JpegImageInfo> pictures;
    };

    // Decodes a received message (an empty one gives nothing). Raises
    // NetworkError "Failed to uncompress buffer", "Invalid screen change packet" (more
    // rectangles than the frame has tiles), "Invalid screen change jpeg" (a block past the end
    // of the list, more pictures than the frame has tiles, or pictures covering more than the
    // frame) or "Invalid screen change image format" (not a picture, or not of its rectangle's
    // size).
    static Change Decode(ScreenChangeNetMsg const& message);
};
