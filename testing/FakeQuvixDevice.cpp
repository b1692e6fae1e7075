#include "FakeQuvixDevice.h"

#include <algorithm>
#include <cstring>

#include "capture/QuvixDriver.h"

namespace {
constexpr std::uint32_t kChangesPending = 1;
constexpr std::uint32_t kCursorPending = 2;

void PutU16(std::vector<unsigned char>& out, long value) {
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}
}  // namespace

FakeQuvixDevice::FakeQuvixDevice(SIZE mode) : mMode(mode) {
    CQuvixDriver::Instance()->SetDevice(this);
}

FakeQuvixDevice::~FakeQuvixDevice() {
    CQuvixDriver::Instance()->SetDevice(nullptr);
}

int FakeQuvixDevice::Escape(unsigned long code, int size, char const* block) {
    mCalls.push_back(Call{code, QuvixEscapeBlock(block, std::size_t(size))});
    QuvixEscapeBlock const& received = mCalls.back().block;
    switch (code) {
        case QuvixEscapeBlock::kMapSurface:
            if (mMapResult != 0) {
                return mMapResult;
            }
            mBuffer = reinterpret_cast<unsigned char*>(
                std::uintptr_t(received.GetU64(QuvixEscapeBlock::kArguments + 16)));
            mBufferSize = received.GetU64(QuvixEscapeBlock::kArguments + 24);
            return mNextSurface++;
        case QuvixEscapeBlock::kFetchChanges:
            Write(mPendingChanges, kChangesPending);
            return 1;
        case QuvixEscapeBlock::kFetchCursorShape:
            Write(mPendingShape, kCursorPending);
            return 1;
        default:
            return 1;
    }
}

void FakeQuvixDevice::Write(std::vector<unsigned char> const& data, std::uint32_t flag) {
    std::uint32_t flags;
    std::memcpy(&flags, mBuffer, 4);
    flags &= ~flag;
    std::memcpy(mBuffer, &flags, 4);
    std::memcpy(mBuffer + 4, data.data(), std::min<std::size_t>(data.size(), mBufferSize - 8));
}

bool FakeQuvixDevice::GetDisplayMode(SIZE& mode) {
    mode = mMode;
    return true;
}

bool FakeQuvixDevice::Reattach(SIZE const& mode) {
    mReattached.push_back(mode);
    mMode = mode;
    return true;
}

void FakeQuvixDevice::SimulateChanges(std::vector<unsigned char> const& list) {
    mPendingChanges = list;
    mBuffer[0] |= kChangesPending;
}

void FakeQuvixDevice::SimulateCursorShape(std::vector<unsigned char> const& shape) {
    mPendingShape = shape;
    mBuffer[0] |= kCursorPending;
}

void FakeQuvixDevice::SimulateCounter(std::uint32_t counter) {
    std::memcpy(mBuffer + mBufferSize - 4, &counter, 4);
}

std::vector<FakeQuvixDevice::Call> FakeQuvixDevice::TakeCalls() {
    std::vector<Call> calls;
    calls.swap(mCalls);
    return calls;
}

std::vector<unsigned char> FakeQuvixDevice::MakeChangeList(std::vector<RECT> const& rects, int bytesPerPixel,
                                                           unsigned char fill) {
    std::vector<unsigned char> list = {static_cast<unsigned char>(rects.size()), 0, 0, 0};
    for (RECT const& rect : rects) {
        PutU16(list, rect.left);
        PutU16(list, rect.top);
        PutU16(list, rect.right);
        PutU16(list, rect.bottom);
        long pixels = std::max(0L, rect.right - rect.left) * std::max(0L, rect.bottom - rect.top);
        list.insert(list.end(), std::size_t(pixels * bytesPerPixel), fill);
    }
    return list;
}
