#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "foundation/CriticalSection.h"

class CQuvixCursorShape;
class CQuvixDriver;

// One surface of the mirror driver: a shared buffer in which the driver leaves the changed
// screen areas (a change packet at offset 4) and the cursor shape, behind a flags word at
// offset 0 (bit 0 changes pending, bit 1 cursor shape pending). The driver's memory is read
// as untrusted: a change list is handed out only when every record lies inside the buffer and
// the surface. The owner's thread queries it; the driver's display-change window remaps it
// from its own thread, so every operation takes the surface's lock.
class CQuvixSurface {
public:
    // Maps a surface of `bitsPerPixel` (8 x bytes per pixel) in the device's current display
    // mode and registers with `driver`, which must outlive the surface.
    CQuvixSurface(CQuvixDriver& driver, int bitsPerPixel);
    // Unmaps and frees the shared buffer.
    ~CQuvixSurface();
    CQuvixSurface(CQuvixSurface const&) = delete;
    CQuvixSurface& operator=(CQuvixSurface const&) = delete;

    // Maps the surface again in the current display mode (nothing when it is mapped).
    bool Map();
    // Tells the driver to let the surface go. The buffer is kept until the next query, since
    // the last packet handed out may still be read.
    void Unmap();
    bool IsMapped();

    // The driver's pending change packet: rectangle count, then per rectangle four u16 edges
    // and its pixels. It lives in the shared buffer and stays valid until the next query or
    // the surface's end. False when nothing is pending, the escape fails or the list is
    // malformed.
    bool GetChanges(void*& packet, unsigned long& size);
    // The driver's change counter (the u32 in the buffer's last 4 bytes); 0 when unmapped.
    long GetChangedValue();
    // The last cursor shape the driver gave, fetched anew when one is pending; null when
    // there is none. Valid until the next call or the surface's end.
    CQuvixCursorShape* GetCursorShape();

    int GetBytesPerPixel() const { return mBytesPerPixel; }
    // The display mode the surface was last mapped in.
    SIZE GetSize();
    // The shared buffer's size for a mode: width x height x depth, 8 bytes per tile, and 8.
    static std::uint64_t BufferSize(SIZE mode, int bytesPerPixel, int tile);

private:
    bool Fetch(std::uint32_t flag, unsigned long code);
    std::uint32_t ReadU32(std::uint64_t offset) const;
    std::uint64_t ValidPacketSize() const;
    void FreeRetired();

    CQuvixDriver& mDriver;
    int mBytesPerPixel;
    int mTile;  // pixels, kept across remaps
    SIZE mMode = {0, 0};
    std::uint32_t mSurface = 0;
    bool mMapped = false;
    unsigned char* mBuffer = nullptr;  // owned (VirtualAlloc)
    std::uint64_t mBufferSize = 0;
    std::vector<unsigned char*> mRetired;  // owned; buffers of earlier mappings
    std::vector<std::uint32_t> mCursorShape;
    CriticalSection mLock;
};
