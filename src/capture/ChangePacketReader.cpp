#include "capture/ChangePacketReader.h"

namespace {

constexpr std::uint64_t kCountSize = 4;
constexpr std::uint64_t kRecordHeader = 8;

std::uint32_t ReadU16(unsigned char const* at) {
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8;
}

void WriteU16(unsigned char* at, long value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

}  // namespace

void WriteChangeRect(unsigned char* at, RECT const& rect) {
    WriteU16(at, rect.left);
    WriteU16(at + 2, rect.top);
    WriteU16(at + 4, rect.right);
    WriteU16(at + 6, rect.bottom);
}

ChangePacketReader::ChangePacketReader(void const* packet, std::uint64_t size, int bytesPerPixel)
    : mNext(static_cast<unsigned char const*>(packet)),
      mRemaining(packet && size >= kCountSize ? size - kCountSize : 0),
      mCount(0),
      mBytesPerPixel(bytesPerPixel > 0 ? std::uint64_t(bytesPerPixel) : 0),
      mMalformed(false) {
    if (mNext && size >= kCountSize) {
        mCount = ReadU16(mNext) | ReadU16(mNext + 2) << 16;
        mNext += kCountSize;
    }
}

bool ChangePacketReader::Stop() {
    mMalformed = mCount != 0;
    mCount = 0;
    return false;
}

bool ChangePacketReader::Next(ChangePacketRecord& record) {
    if (mCount == 0 || mBytesPerPixel == 0 || mRemaining < kRecordHeader) {
        return Stop();
    }
    RECT rect = {long(ReadU16(mNext)), long(ReadU16(mNext + 2)), long(ReadU16(mNext + 4)),
                 long(ReadU16(mNext + 6))};
    if (rect.right < rect.left || rect.bottom < rect.top) {
        return Stop();
    }
    std::uint64_t pixelBytes =
        std::uint64_t(rect.right - rect.left) * std::uint64_t(rect.bottom - rect.top) * mBytesPerPixel;
    if (pixelBytes > mRemaining - kRecordHeader) {
        return Stop();
    }
    record.rect = rect;
    record.pixels = mNext + kRecordHeader;
    mNext += kRecordHeader + pixelBytes;
    mRemaining -= kRecordHeader + pixelBytes;
    --mCount;
    return true;
}
