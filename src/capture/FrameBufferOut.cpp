#include "capture/FrameBufferOut.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "capture/ChangePacketReader.h"
#include "capture/PacketRescaler.h"
#include "capture/PixelFormat.h"
#include "capture/QuvixDriver.h"
#include "capture/QuvixSurface.h"
#include "capture/ScreenGrab.h"
#include "foundation/DesktopUtil.h"

namespace {

constexpr long kMaxEdge = 0xFFFF;

// A change packet grown in place, in a block the caller of GetData frees with free: the pixels
// of each rectangle are grabbed and trimmed where they end up, with no copy in between.
class PacketBuffer {
public:
    PacketBuffer() = default;
    PacketBuffer(PacketBuffer const&) = delete;
    PacketBuffer& operator=(PacketBuffer const&) = delete;
    ~PacketBuffer() { std::free(mData); }

    std::size_t Size() const { return mSize; }
    // Room for a rectangle of `bytes` pixel bytes at the end; null when it cannot be had. Valid
    // until the next Reserve.
    unsigned char* Reserve(std::size_t bytes) {
        std::size_t const needed = mSize + 8 + bytes;
        if (needed > mCapacity) {
            std::size_t const capacity = std::max(needed, mCapacity * 2);
            auto* grown = static_cast<unsigned char*>(std::realloc(mData, capacity));
            if (!grown) {
                return nullptr;
            }
            mData = grown;
            mCapacity = capacity;
        }
        return mData + mSize + 8;
    }
    // Closes the rectangle reserved last, whose pixels take `bytes` (at most what was reserved).
    void Commit(RECT const& rect, std::size_t bytes) {
        WriteChangeRect(mData + mSize, rect);
        mSize += 8 + bytes;
        ++mCount;
    }
    // Hands the packet over; false when it holds no rectangle.
    bool Take(void*& data, unsigned long& size) {
        if (mCount == 0) {
            return false;
        }
        std::memcpy(mData, &mCount, 4);
        data = mData;
        size = static_cast<unsigned long>(mSize);
        mData = nullptr;
        return true;
    }

private:
    unsigned char* mData = nullptr;
    std::size_t mSize = 4;  // the count comes first
    std::size_t mCapacity = 0;
    std::uint32_t mCount = 0;
};

unsigned long RasterOperation() {
    return CQuvixDriver::IsNtPlatform() ? SRCCOPY | CAPTUREBLT : SRCCOPY;
}

// Index of the first byte in which the two blocks differ; `size` when none does.
std::size_t FirstDifference(unsigned char const* a, unsigned char const* b, std::size_t size) {
    if (std::memcmp(a, b, size) == 0) {
        return size;
    }
    std::size_t i = 0;
    while (a[i] == b[i]) {
        ++i;
    }
    return i;
}

// One past the last byte in which they differ; 0 when none does.
std::size_t LastDifference(unsigned char const* a, unsigned char const* b, std::size_t size) {
    if (std::memcmp(a, b, size) == 0) {
        return 0;
    }
    std::size_t i = size;
    while (a[i - 1] == b[i - 1]) {
        --i;
    }
    return i;
}

}  // namespace

CFrameBufferOut::CFrameBufferOut() : mRasterOperation(RasterOperation()), mGrid(*this) {
    DecideMode();
}

CFrameBufferOut::~CFrameBufferOut() {
    delete mSurface;
}

bool CFrameBufferOut::DriverCanBeUsed() {
    CQuvixDriver* driver = CQuvixDriver::Instance();
    return driver && driver->CanBeUsed();
}

int CFrameBufferOut::UseDriver() {
    return mDriverMode;
}

void CFrameBufferOut::DecideMode() {
    mDriverMode = DriverCanBeUsed() ? 1 : 0;
    if (mDriverMode) {
        return;
    }
    delete mSurface;
    mSurface = nullptr;
    SetSize(DesktopUtil::GetDesktopResolution());
    TrackWholeFrame();
}

void CFrameBufferOut::TrackWholeFrame() {
    mGrid.SetArea(RECT{0, 0, mWidth, mHeight});
}

void CFrameBufferOut::ReInitialize(int) {
    DecideMode();
}

void CFrameBufferOut::SetCaps(int width, int height, int bytesPerPixel) {
    if (mDriverMode) {
        mWidth = width;
        mHeight = height;
        if (bytesPerPixel > 0) {
            mBytesPerPixel = bytesPerPixel;
        }
        if (!mSurface && CQuvixDriver::Instance()) {
            mSurface = new CQuvixSurface(*CQuvixDriver::Instance(), 8 * mBytesPerPixel);
        }
        return;
    }
    mBytesPerPixel = bytesPerPixel;
    SetSize(SIZE{width, height});
    TrackWholeFrame();
}

void CFrameBufferOut::InvalidateRect(RECT const& rect) {
    if (!mDriverMode) {
        mGrid.Mark(rect);
    }
}

void CFrameBufferOut::Clear() {
    mGrid.Clear();
}

bool CFrameBufferOut::GetData(void*& data, unsigned long& size, int& owned) {
    if (mDriverMode) {
        owned = 0;
        return GetDriverData(data, size);
    }
    if (!GetGrabbedData(data, size)) {
        return false;
    }
    owned = 1;
    return true;
}

bool CFrameBufferOut::GetDriverData(void*& data, unsigned long& size) {
    return mSurface && mSurface->GetChanges(data, size);
}

// One pass: every band of the screen is grabbed at most once, however many cells it holds,
// and every changed rectangle found goes into the one packet.
bool CFrameBufferOut::GetGrabbedData(void*& data, unsigned long& size) {
    if (!HoldsFrame() || !PixelFormat::IsSupported(mBytesPerPixel)) {
        return false;
    }
    mBands.StartPass(mGrid.GetArea().top, ChangeGrid::kCellSize, SIZE{mWidth, mHeight}, mRasterOperation);
    mGrid.StartPass();
    PacketBuffer packet;
    RECT rect;
    while (mGrid.NextChangedRect(rect)) {
        std::uint64_t const bytes =
            BlockBytes(rect.right - rect.left, rect.bottom - rect.top, mBytesPerPixel);
        if (rect.right > kMaxEdge || rect.bottom > kMaxEdge || packet.Size() + bytes + 8 > ULONG_MAX) {
            return false;
        }
        unsigned char* pixels = packet.Reserve(std::size_t(bytes));
        if (!pixels || !CopyFromBands(rect, pixels)) {
            return false;
        }
        if (TrimAndStore(rect, pixels)) {
            packet.Commit(rect, std::size_t(BlockBytes(rect.right - rect.left, rect.bottom - rect.top,
                                                       mBytesPerPixel)));
        }
    }
    return packet.Take(data, size);
}

void CFrameBufferOut::NoteLacking(void const* packet, unsigned long size, DWORD since) {
    if (mDriverMode) {
        return;
    }
    ChangePacketReader reader(packet, size, mBytesPerPixel);
    ChangePacketRecord record;
    while (reader.Next(record)) {
        mGrid.MarkLacking(record.rect, since);
    }
}

bool CFrameBufferOut::GetRefinement(void*& data, unsigned long& size, DWORD now, DWORD stillMs,
                                    int maxCells) {
    if (mDriverMode) {
        return false;
    }
    return GetStored(mGrid.TakeLacking(now, stillMs, maxCells), data, size);
}

bool CFrameBufferOut::GetStored(std::vector<RECT> const& rects, void*& data, unsigned long& size) {
    if (mDriverMode || !HoldsFrame()) {
        return false;
    }
    PacketBuffer packet;
    for (RECT const& rect : rects) {
        if (!HoldsRect(rect)) {
            continue;
        }
        std::size_t const rowBytes = std::size_t(rect.right - rect.left) * mBytesPerPixel;
        unsigned char* pixels = packet.Reserve(rowBytes * std::size_t(rect.bottom - rect.top));
        if (!pixels) {
            return false;
        }
        for (long y = rect.top; y < rect.bottom; ++y) {
            std::memcpy(pixels + std::size_t(y - rect.top) * rowBytes, PixelAt(rect.left, y), rowBytes);
        }
        packet.Commit(rect, rowBytes * std::size_t(rect.bottom - rect.top));
    }
    return packet.Take(data, size);
}

DWORD CFrameBufferOut::NextRefinementDue(DWORD now, DWORD stillMs) {
    return mDriverMode ? INFINITE : mGrid.NextLackingDue(now, stillMs);
}

bool CFrameBufferOut::GetDataStratched(void*& data, unsigned long& size, int& owned, SIZE& target,
                                       int targetBytesPerPixel) {
    if (!mDriverMode) {
        return GetData(data, size, owned);
    }
    void* packet = nullptr;
    unsigned long packetSize = 0;
    if (!GetDriverData(packet, packetSize) ||
        !PacketRescaler::Rescale(packet, packetSize, SIZE{mWidth, mHeight}, mBytesPerPixel, target,
                                 targetBytesPerPixel, data, size)) {
        return false;
    }
    owned = 1;
    return true;
}

void CFrameBufferOut::FreeData(void* data) {
    if (!mDriverMode) {
        std::free(data);
    }
}

long CFrameBufferOut::GetChangedValue() {
    return mDriverMode && mSurface ? mSurface->GetChangedValue() : 0;
}

CQuvixCursorShape* CFrameBufferOut::GetCursorInfo() {
    return mSurface ? mSurface->GetCursorShape() : nullptr;
}

int CFrameBufferOut::GetCursorPos(POINT* point) {
    POINT position;
    if (!point || !::GetCursorPos(&position)) {
        return 0;
    }
    *point = position;
    bool moved = position.x != mLastCursor.x || position.y != mLastCursor.y;
    mLastCursor = position;
    return moved ? 1 : 0;
}

bool CFrameBufferOut::GrabRectFromScreen(HDC source, RECT const& rect, unsigned char* out,
                                         unsigned long rasterOperation, int bytesPerPixel) {
    bool grabbed = ScreenGrab::Grab(source, rect, out, rasterOperation, bytesPerPixel);
    if (source) {
        ReleaseDC(nullptr, source);
    }
    return grabbed;
}

bool CFrameBufferOut::GrabRectFromScreen(RECT const& rect, unsigned char* out) {
    return GrabRectFromScreen(GetDC(nullptr), rect, out, mRasterOperation, mBytesPerPixel);
}

bool CFrameBufferOut::HasRectChanged(RECT const& rect) {
    RECT normal = {std::min(rect.left, rect.right), std::min(rect.top, rect.bottom),
                   std::max(rect.left, rect.right), std::max(rect.top, rect.bottom)};
    std::uint64_t bytes = BlockBytes(normal.right - normal.left, normal.bottom - normal.top, mBytesPerPixel);
    auto* pixels = bytes ? static_cast<unsigned char*>(std::malloc(bytes)) : nullptr;
    if (!pixels || !GrabRectFromScreen(normal, pixels)) {
        std::free(pixels);
        return false;
    }
    bool changed = !HoldsRect(normal) ||
                   DiffersFromFrame(normal, pixels, std::size_t(normal.right - normal.left) * mBytesPerPixel);
    std::free(pixels);
    return changed;
}

// The cell is compared where it lies inside the frame; its band is grabbed as wide as the
// dirty cells of its row, so that they need no grab of their own.
bool CFrameBufferOut::HasCellChanged(int column, int row, RECT const& cell) {
    RECT inside = {cell.left, cell.top, std::min(cell.right, long(mWidth)),
                   std::min(cell.bottom, long(mHeight))};
    if (!HoldsRect(inside) || (!mBands.Holds(inside) && !GrabCellBand(column, row, inside))) {
        return false;
    }
    std::size_t width = std::size_t(inside.right - inside.left);
    for (long y = inside.top; y < inside.bottom; ++y) {
        if (!PixelFormat::EqualsRow32(mBands.PixelAt(inside.left, y), width, mBytesPerPixel,
                                      PixelAt(inside.left, y))) {
            return true;
        }
    }
    return false;
}

// Grabs the cell's band as wide as the dirty cells of its row, together with the bands below
// it that hold dirty cells too, which the scan is about to reach.
bool CFrameBufferOut::GrabCellBand(int column, int row, RECT const& inside) {
    long const cell = ChangeGrid::kCellSize;
    long const origin = mGrid.GetArea().left;
    int first = column;
    int last = column;
    long spanLeft = inside.left;
    long spanRight = inside.right;
    RECT rows = inside;
    for (int next = row; next < row + ScreenBands::kBandsPerGrab && next < mGrid.GetRows(); ++next) {
        if (!mGrid.DirtySpan(next, first, last) && next != row) {
            break;
        }
        if (first >= 0) {
            spanLeft = std::min(spanLeft, origin + first * cell);
            spanRight = std::max(spanRight, origin + (last + 1) * cell);
        }
        rows.bottom = std::min(inside.top + (next - row + 1) * cell, long(mHeight));
    }
    return mBands.Cover(rows, spanLeft, spanRight);
}

bool CFrameBufferOut::DiffersFromFrame(RECT const& rect, unsigned char const* pixels,
                                       std::size_t stride) const {
    std::size_t rowBytes = std::size_t(rect.right - rect.left) * mBytesPerPixel;
    for (long y = rect.top; y < rect.bottom; ++y, pixels += stride) {
        if (std::memcmp(pixels, PixelAt(rect.left, y), rowBytes) != 0) {
            return true;
        }
    }
    return false;
}

bool CFrameBufferOut::CopyFromBands(RECT const& rect, unsigned char* out) {
    if (!mBands.Cover(rect, rect.left, rect.right)) {
        return false;
    }
    std::size_t width = std::size_t(rect.right - rect.left);
    for (long y = rect.top; y < rect.bottom; ++y, out += width * mBytesPerPixel) {
        PixelFormat::ConvertRow32(mBands.PixelAt(rect.left, y), width, mBytesPerPixel, out);
    }
    return true;
}

bool CFrameBufferOut::ProcessChanges(RECT& rect, unsigned char*& pixels) {
    if (!pixels || !TrimAndStore(rect, pixels)) {
        return false;
    }
    std::size_t bytes =
        std::size_t(BlockBytes(rect.right - rect.left, rect.bottom - rect.top, mBytesPerPixel));
    if (void* shrunk = std::realloc(pixels, bytes)) {
        pixels = static_cast<unsigned char*>(shrunk);
    }
    return true;
}

bool CFrameBufferOut::TrimAndStore(RECT& rect, unsigned char* pixels) {
    if (!HoldsRect(rect)) {
        return false;
    }
    std::size_t const depth = std::size_t(mBytesPerPixel);
    std::size_t const rowBytes = std::size_t(rect.right - rect.left) * depth;
    long const height = rect.bottom - rect.top;
    auto grabbed = [&](long y) { return pixels + std::size_t(y) * rowBytes; };
    auto stored = [&](long y) { return PixelAt(rect.left, rect.top + y); };
    long top = 0;
    while (top < height && std::memcmp(grabbed(top), stored(top), rowBytes) == 0) {
        ++top;
    }
    if (top == height) {
        return false;
    }
    long bottom = height;
    while (std::memcmp(grabbed(bottom - 1), stored(bottom - 1), rowBytes) == 0) {
        --bottom;
    }
    // Leftmost and rightmost differing pixel over those rows; each row is only searched where
    // it could still move an edge.
    std::size_t left = rowBytes / depth;
    std::size_t right = 0;
    for (long y = top; y < bottom; ++y) {
        left = std::min(left, FirstDifference(grabbed(y), stored(y), left * depth) / depth);
        std::size_t tail = right * depth;
        right = std::max(
            right, (tail + LastDifference(grabbed(y) + tail, stored(y) + tail, rowBytes - tail) + depth - 1) /
                       depth);
    }
    RECT const trimmed = {rect.left + long(left), rect.top + top, rect.left + long(right), rect.top + bottom};
    if (!EqualRect(&trimmed, &rect)) {
        std::size_t packedRow = (right - left) * depth;
        for (long y = top; y < bottom; ++y) {
            std::memmove(pixels + std::size_t(y - top) * packedRow, grabbed(y) + left * depth, packedRow);
        }
        rect = trimmed;
    }
    SetData(rect, pixels);
    return true;
}
