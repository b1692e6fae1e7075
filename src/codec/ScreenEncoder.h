#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "network/ScreenChangeNetMsg.h"

// The sharing side's stage between capture and the network: writes a change packet as a
// screen change message, either the packet itself through zlib or, where the session's depth
// and settings ask for it, a picture per rectangle. Static only; called on the thread that
// sends screen changes ("DesktopTracker"), or any other: it keeps no state.
class ScreenEncoder {
public:
    struct Settings {
        unsigned char colorDepth = 24;  // bits per pixel: 1, 4, 8, 16 or 24
        bool useJpeg = false;
        int jpegQuality = 75;  // clamped into 1..100
        int zlibLevel = 9;     // 0 to 9, of the data whichever its kind; see ChooseZlibLevel
    };

    // A change's encoded data: what the message carries besides the frame, depth and timing,
    // and what costs the time. Viewers at the same quality can share it.
    struct Payload {
        bool pictures = false;
        std::uint64_t size = 0;  // of the data before zlib
        std::string data;        // compressed and escaped
    };

    // The message of `packetSize` bytes of a change packet (null only when the size is 0) taken
    // from a frame of `origin`; the packet has 3 bytes per pixel at depths 4 and below. Depths
    // 1 and 4 send PNG pictures (thresholded, or reduced to 16 colours), 8 and 24 send JPEG
    // pictures when `useJpeg` is set; anything else, and a packet that does not make pictures,
    // goes as it is. Keeps no copy of the packet. Raises NetworkError "Failed to compress
    // buffer" only.
    static ScreenChangeNetMsg Encode(void const* packet, unsigned long packetSize, tagSIZE origin, int timing,
                                     Settings const& settings);
    // Encode in two steps: the payload, then a message of it for one viewer's timing.
    static Payload EncodePayload(void const* packet, unsigned long packetSize, tagSIZE origin,
                                 Settings const& settings);
    static ScreenChangeNetMsg ToMessage(Payload const& payload, tagSIZE origin, unsigned char colorDepth,
                                        int timing);
    // The zlib level for the next change on a link that carries `sendCps` bytes a second (0 or
    // less: not measured yet, taken as fast): the fastest level on a fast link, stronger ones
    // as the link slows. The receiver inflates any level.
    static int ChooseZlibLevel(int sendCps);
};
