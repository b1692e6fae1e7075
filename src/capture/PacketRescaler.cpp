#include "capture/PacketRescaler.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <numeric>

#include "capture/ChangePacketReader.h"
#include "capture/ScreenGrab.h"
#include "foundation/Errors.h"

namespace {

constexpr std::uint64_t kRecordHeader = 8;

// One axis of the grid common to both sizes: a source block maps onto a destination block.
struct Axis {
    long source;
    long destination;
    long frame;

    Axis(long frameSize, long target) : frame(frameSize) {
        long common = std::gcd(frameSize, target);
        source = frameSize / common;
        destination = target / common;
    }
    // [from, to) widened to whole source blocks, but never past the frame.
    void Align(long from, long to, long& start, long& end) const {
        start = from - from % source;
        long length = (to - start) - (to - start) % source + source;
        end = std::min(start + length, frame);
    }
    long ToDestination(long value) const { return value / source * destination; }
};

std::uint64_t RecordBytes(RECT const& rect, int bytesPerPixel) {
    return kRecordHeader + std::uint64_t(rect.right - rect.left) * std::uint64_t(rect.bottom - rect.top) *
                               std::uint64_t(bytesPerPixel);
}

}  // namespace

bool PacketRescaler::Rescale(void const* packet, unsigned long size, SIZE frame, int frameBytes, SIZE target,
                             int targetBytes, void*& out, unsigned long& outSize) {
    std::vector<Record> records;
    if (frame.cx <= 0 || frame.cy <= 0 || target.cx <= 0 || target.cy <= 0 || target.cx > 0xFFFF ||
        target.cy > 0xFFFF || !ReadRecords(packet, size, frame, frameBytes, target, records)) {
        return false;
    }
    std::uint64_t bytes = 4;
    for (Record const& record : records) {
        bytes += RecordBytes(record.destination, targetBytes);
    }
    auto* block = bytes <= ULONG_MAX ? static_cast<unsigned char*>(std::malloc(bytes)) : nullptr;
    if (!block) {
        Raise(BaseError("Allocation error"));
    }
    if (!Draw(records, frame, targetBytes, block)) {
        std::free(block);
        return false;
    }
    out = block;
    outSize = static_cast<unsigned long>(bytes);
    return true;
}

// The packet's rectangles, block-aligned; records that hold no frame pixel are dropped.
bool PacketRescaler::ReadRecords(void const* packet, unsigned long size, SIZE frame, int frameBytes,
                                 SIZE target, std::vector<Record>& records) {
    Axis horizontal(frame.cx, target.cx);
    Axis vertical(frame.cy, target.cy);
    ChangePacketReader reader(packet, size, frameBytes);
    ChangePacketRecord edges;
    while (reader.Next(edges)) {
        Record record;
        horizontal.Align(edges.rect.left, edges.rect.right, record.source.left, record.source.right);
        vertical.Align(edges.rect.top, edges.rect.bottom, record.source.top, record.source.bottom);
        if (record.source.left >= record.source.right || record.source.top >= record.source.bottom) {
            continue;
        }
        record.destination = {
            horizontal.ToDestination(record.source.left), vertical.ToDestination(record.source.top),
            horizontal.ToDestination(record.source.right), vertical.ToDestination(record.source.bottom)};
        records.push_back(record);
    }
    return packet && size >= 4 && !reader.IsMalformed();
}

// Stretches each source rectangle of the screen into a frame-sized scratch bitmap and grabs
// the result at the target depth.
bool PacketRescaler::Draw(std::vector<Record> const& records, SIZE frame, int targetBytes,
                          unsigned char* out) {
    unsigned char* at = out;
    std::uint32_t count = static_cast<std::uint32_t>(records.size());
    for (int i = 0; i < 4; ++i) {
        *at++ = static_cast<unsigned char>(count >> (8 * i));
    }
    HDC screen = GetDC(nullptr);
    HDC memory = screen ? CreateCompatibleDC(screen) : nullptr;
    HBITMAP bitmap = memory ? CreateCompatibleBitmap(screen, frame.cx, frame.cy) : nullptr;
    bool drawn = bitmap != nullptr;
    if (drawn) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        SetStretchBltMode(memory, HALFTONE);
        SetBrushOrgEx(memory, 0, 0, nullptr);
        for (Record const& record : records) {
            RECT const& source = record.source;
            RECT const& destination = record.destination;
            RECT scaled = {0, 0, destination.right - destination.left, destination.bottom - destination.top};
            WriteChangeRect(at, destination);
            drawn = drawn &&
                    StretchBlt(memory, 0, 0, scaled.right, scaled.bottom, screen, source.left, source.top,
                               source.right - source.left, source.bottom - source.top, SRCCOPY) &&
                    ScreenGrab::Grab(memory, scaled, at + kRecordHeader, SRCCOPY, targetBytes);
            at += RecordBytes(destination, targetBytes);
        }
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    if (memory) {
        DeleteDC(memory);
    }
    if (screen) {
        ReleaseDC(nullptr, screen);
    }
    return drawn;
}
