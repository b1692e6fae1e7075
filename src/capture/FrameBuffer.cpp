#include "capture/FrameBuffer.h"

#include <climits>
#include <cstdlib>
#include <cstring>

CFrameBuffer::CFrameBuffer() = default;

CFrameBuffer::CFrameBuffer(SIZE const& size, int bytesPerPixel) : mBytesPerPixel(bytesPerPixel) {
    SetSize(size);
}

CFrameBuffer::~CFrameBuffer() {
    FreeBuffer();
}

void CFrameBuffer::SetBytesPerPixel(int bytesPerPixel) {
    mBytesPerPixel = bytesPerPixel;
    ReallocateBuffer(SIZE{mWidth, mHeight});
}

int CFrameBuffer::GetBytesPerPixel() {
    return mBytesPerPixel;
}

void CFrameBuffer::SetSize(SIZE const& size) {
    if (ReallocateBuffer(size)) {
        mWidth = size.cx;
        mHeight = size.cy;
    }
}

void CFrameBuffer::GetSize(SIZE& size) {
    size.cx = mWidth;
    size.cy = mHeight;
}

std::uint64_t CFrameBuffer::BlockBytes(long width, long height, int bytesPerPixel) {
    if (width <= 0 || height <= 0 || bytesPerPixel <= 0) {
        return 0;
    }
    return std::uint64_t(width) * std::uint64_t(height) * std::uint64_t(bytesPerPixel);
}

bool CFrameBuffer::ReallocateBuffer(SIZE size) {
    std::uint64_t bytes = BlockBytes(size.cx, size.cy, mBytesPerPixel);
    if (bytes == 0 || bytes > ULONG_MAX) {
        FreeBuffer();
        return bytes == 0 && size.cx >= 0 && size.cy >= 0;
    }
    void* block = std::realloc(mPixels, bytes);
    if (!block) {
        FreeBuffer();
        return false;
    }
    mPixels = static_cast<unsigned char*>(block);
    mBufferSize = static_cast<unsigned long>(bytes);
    std::memset(mPixels, 0, bytes);
    return true;
}

void CFrameBuffer::FreeBuffer() {
    std::free(mPixels);
    mPixels = nullptr;
    mBufferSize = 0;
}

bool CFrameBuffer::HoldsFrame() const {
    std::uint64_t bytes = BlockBytes(mWidth, mHeight, mBytesPerPixel);
    return mPixels && bytes != 0 && mBufferSize >= bytes;
}

bool CFrameBuffer::HoldsRect(RECT const& rect) const {
    return HoldsFrame() && rect.left >= 0 && rect.top >= 0 && rect.left < rect.right &&
           rect.top < rect.bottom && rect.right <= mWidth && rect.bottom <= mHeight;
}

unsigned char* CFrameBuffer::PixelAt(long x, long y) const {
    return mPixels + (std::size_t(y) * std::size_t(mWidth) + std::size_t(x)) * std::size_t(mBytesPerPixel);
}

void CFrameBuffer::SetData(RECT const& rect, void* data) {
    if (!data || !HoldsRect(rect)) {
        return;
    }
    std::size_t rowBytes = std::size_t(rect.right - rect.left) * mBytesPerPixel;
    auto const* source = static_cast<unsigned char const*>(data);
    for (long y = rect.top; y < rect.bottom; ++y, source += rowBytes) {
        std::memcpy(PixelAt(rect.left, y), source, rowBytes);
    }
}
