#pragma once

#include <windows.h>

#include <cstdint>

// A stored frame: packed rows top-down, no padding, in one of the change packet's pixel
// formats (see PixelFormat). Belongs to one thread, the one that builds and queries it.
class CFrameBuffer {
public:
    // 0 x 0 pixels at 1 byte per pixel.
    CFrameBuffer();
    // A zeroed frame of `size` at `bytesPerPixel`.
    CFrameBuffer(SIZE const& size, int bytesPerPixel);
    virtual ~CFrameBuffer();
    CFrameBuffer(CFrameBuffer const&) = delete;
    CFrameBuffer& operator=(CFrameBuffer const&) = delete;

    // Stores the depth and zeroes the frame at the new depth (empty when that fails).
    virtual void SetBytesPerPixel(int bytesPerPixel);
    virtual int GetBytesPerPixel();
    // Zeroes the frame at the new size; the size is kept only when the memory was found.
    virtual void SetSize(SIZE const& size);
    virtual void GetSize(SIZE& size);

protected:
    // Copies a packed block of the rectangle's pixels into the frame at its place. A rectangle
    // that is not inside the frame is ignored.
    void SetData(RECT const& rect, void* data);
    // True when the whole frame is in memory (false after a failed allocation).
    bool HoldsFrame() const;
    // True when `rect` is a non-empty part of a frame held in memory.
    bool HoldsRect(RECT const& rect) const;
    // Pixel (x, y) of the frame; only for points inside a held frame.
    unsigned char* PixelAt(long x, long y) const;
    // Width x height x depth, computed wide so that no edge size can wrap it.
    static std::uint64_t BlockBytes(long width, long height, int bytesPerPixel);

    int mBytesPerPixel = 1;
    int mWidth = 0;
    int mHeight = 0;
    unsigned char* mPixels = nullptr;  // owned, malloc'ed
    unsigned long mBufferSize = 0;

private:
    bool ReallocateBuffer(SIZE size);
    void FreeBuffer();
};
