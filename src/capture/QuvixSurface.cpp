#include "capture/QuvixSurface.h"

#include <cstring>

#include "capture/ChangePacketReader.h"
#include "capture/QuvixCursorShape.h"
#include "capture/QuvixDriver.h"
#include "capture/QuvixEscapeBlock.h"
#include "foundation/CorvaneLogging.h"

namespace {

constexpr std::uint32_t kChangesPending = 1;
constexpr std::uint32_t kCursorPending = 2;
constexpr std::uint64_t kFlagsBytes = 4;
constexpr std::uint64_t kCounterBytes = 4;

std::uint64_t CeilDiv(std::uint64_t value, std::uint64_t by) {
    return (value + by - 1) / by;
}

}  // namespace

CQuvixSurface::CQuvixSurface(CQuvixDriver& driver, int bitsPerPixel)
    : mDriver(driver), mBytesPerPixel(bitsPerPixel / 8), mTile(8 * (bitsPerPixel / 8)) {
    Map();
    mDriver.AddSurface(this);
}

CQuvixSurface::~CQuvixSurface() {
    mDriver.RemoveSurface(this);
    Unmap();
    CriticalSectionLock lock(mLock);
    FreeRetired();
}

std::uint64_t CQuvixSurface::BufferSize(SIZE mode, int bytesPerPixel, int tile) {
    if (mode.cx <= 0 || mode.cy <= 0 || bytesPerPixel <= 0 || tile <= 0) {
        return 0;
    }
    std::uint64_t width = std::uint64_t(mode.cx);
    std::uint64_t height = std::uint64_t(mode.cy);
    return width * height * std::uint64_t(bytesPerPixel) + CeilDiv(width, tile) * CeilDiv(height, tile) * 8 +
           8;
}

bool CQuvixSurface::Map() {
    CriticalSectionLock lock(mLock);
    if (mMapped) {
        return true;
    }
    SIZE mode = {0, 0};
    IQuvixDevice& device = mDriver.GetDevice();
    std::uint64_t size = device.GetDisplayMode(mode) ? BufferSize(mode, mBytesPerPixel, mTile) : 0;
    void* buffer =
        size ? VirtualAlloc(nullptr, SIZE_T(size), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE) : nullptr;
    if (!buffer) {
        return false;
    }
    QuvixEscapeBlock block = QuvixEscapeBlock::Map(mBytesPerPixel, mode.cx, mode.cy, mTile, buffer, size);
    int surface = device.Escape(QuvixEscapeBlock::kMapSurface, block.GetSize(), block.GetData());
    // 0 is the system's "escape not supported".
    if (surface == 0 || std::uint32_t(surface) == QuvixEscapeBlock::kNoSurface) {
        VirtualFree(buffer, 0, MEM_RELEASE);
        CORVANE_LOG("Mirror driver surface not mapped");
        return false;
    }
    mRetired.push_back(mBuffer);
    mBuffer = static_cast<unsigned char*>(buffer);
    mBufferSize = size;
    mMode = mode;
    mSurface = std::uint32_t(surface);
    mMapped = true;
    return true;
}

void CQuvixSurface::Unmap() {
    CriticalSectionLock lock(mLock);
    if (!mMapped) {
        return;
    }
    QuvixEscapeBlock block = QuvixEscapeBlock::ForSurface(mSurface);
    mDriver.GetDevice().Escape(QuvixEscapeBlock::kUnmapSurface, block.GetSize(), block.GetData());
    mMapped = false;
}

bool CQuvixSurface::IsMapped() {
    CriticalSectionLock lock(mLock);
    return mMapped;
}

SIZE CQuvixSurface::GetSize() {
    CriticalSectionLock lock(mLock);
    return mMode;
}

void CQuvixSurface::FreeRetired() {
    for (unsigned char* buffer : mRetired) {
        if (buffer) {
            VirtualFree(buffer, 0, MEM_RELEASE);
        }
    }
    mRetired.clear();
    if (!mMapped && mBuffer) {
        VirtualFree(mBuffer, 0, MEM_RELEASE);
        mBuffer = nullptr;
        mBufferSize = 0;
    }
}

std::uint32_t CQuvixSurface::ReadU32(std::uint64_t offset) const {
    std::uint32_t value;
    std::memcpy(&value, mBuffer + offset, sizeof(value));
    return value;
}

// Issues a fetch only when the driver has raised its flag.
bool CQuvixSurface::Fetch(std::uint32_t flag, unsigned long code) {
    FreeRetired();
    if (!mMapped || !(ReadU32(0) & flag)) {
        return false;
    }
    QuvixEscapeBlock block = QuvixEscapeBlock::ForSurface(mSurface);
    return mDriver.GetDevice().Escape(code, block.GetSize(), block.GetData()) > 0;
}

bool CQuvixSurface::GetChanges(void*& packet, unsigned long& size) {
    CriticalSectionLock lock(mLock);
    if (!Fetch(kChangesPending, QuvixEscapeBlock::kFetchChanges)) {
        return false;
    }
    std::uint64_t bytes = ValidPacketSize();
    if (bytes == 0) {
        CORVANE_LOG("Mirror driver change list refused");
        return false;
    }
    packet = mBuffer + kFlagsBytes;
    size = static_cast<unsigned long>(bytes);
    return true;
}

// The packet's size when its count and every record fit between the flags and the counter
// and every rectangle lies on the surface; 0 otherwise.
std::uint64_t CQuvixSurface::ValidPacketSize() const {
    unsigned char const* packet = mBuffer + kFlagsBytes;
    ChangePacketReader reader(packet, mBufferSize - kFlagsBytes - kCounterBytes, mBytesPerPixel);
    ChangePacketRecord record;
    std::uint64_t size = 4;
    while (reader.Next(record)) {
        if (record.rect.right > mMode.cx || record.rect.bottom > mMode.cy) {
            return 0;
        }
        size = std::uint64_t(record.pixels - packet) +
               std::uint64_t(record.rect.right - record.rect.left) *
                   std::uint64_t(record.rect.bottom - record.rect.top) * std::uint64_t(mBytesPerPixel);
    }
    return !reader.IsMalformed() && size <= 0xFFFFFFFFu ? size : 0;
}

long CQuvixSurface::GetChangedValue() {
    CriticalSectionLock lock(mLock);
    return mMapped ? long(ReadU32(mBufferSize - kCounterBytes)) : 0;
}

CQuvixCursorShape* CQuvixSurface::GetCursorShape() {
    CriticalSectionLock lock(mLock);
    if (Fetch(kCursorPending, QuvixEscapeBlock::kFetchCursorShape)) {
        unsigned char const* data = mBuffer + kFlagsBytes;
        std::size_t size =
            CQuvixCursorShape::ValidSize(data, std::size_t(mBufferSize - kFlagsBytes - kCounterBytes));
        if (size) {
            mCursorShape.assign((size + 3) / 4, 0);
            std::memcpy(mCursorShape.data(), data, size);
        }
    }
    return mCursorShape.empty() ? nullptr : reinterpret_cast<CQuvixCursorShape*>(mCursorShape.data());
}
