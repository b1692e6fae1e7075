#pragma once

#include <windows.h>

#include <vector>

// Rescales the mirror driver's change packet to another resolution: each rectangle is widened
// to whole blocks of the two sizes' common grid, the screen under it is stretched (HALFTONE)
// to the destination size and grabbed again. Called on the tracker thread.
class PacketRescaler {
public:
    // `frame` is the screen size of the packet's rectangles, whose pixels are `frameBytes`
    // wide. The new packet (owned by the caller, released with free) has the rectangles in
    // `target` coordinates at `targetBytes` per pixel. False when the sizes cannot be used or
    // a grab fails; raises BaseError "Allocation error" when the packet cannot be allocated.
    static bool Rescale(void const* packet, unsigned long size, SIZE frame, int frameBytes, SIZE target,
                        int targetBytes, void*& out, unsigned long& outSize);

private:
    struct Record {
        RECT source;  // block-aligned, inside the frame
        RECT destination;
    };

    static bool ReadRecords(void const* packet, unsigned long size, SIZE frame, int frameBytes, SIZE target,
                            std::vector<Record>& records);
    static bool Draw(std::vector<Record> const& records, SIZE frame, int targetBytes, unsigned char* out);
};
