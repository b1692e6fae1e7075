#include "capture/ChangeGrid.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

int CeilCells(long pixels) {
    return pixels > 0 ? int((pixels + ChangeGrid::kCellSize - 1) / ChangeGrid::kCellSize) : 0;
}

}  // namespace

ChangeGrid::ChangeGrid(ICellComparer& owner) : mOwner(owner) {}

ChangeGrid::~ChangeGrid() {
    std::free(mBits);
}

void ChangeGrid::SetArea(RECT const& area) {
    CriticalSectionLock lock(mLock);
    int columns = CeilCells(area.right - area.left);
    int rows = CeilCells(area.bottom - area.top);
    int stride = (columns + 7) / 8;
    unsigned total = unsigned(stride) * unsigned(rows);
    auto* bits = static_cast<unsigned char*>(std::calloc(total ? total : 1, 1));
    if (!bits) {
        return;  // the old grid stays as it was
    }
    unsigned char* old = mBits;
    int oldColumns = mColumns;
    int oldRows = mRows;
    mBits = bits;
    mTotalBytes = total;
    mColumns = columns;
    mStride = stride;
    mRows = rows;
    mArea = area;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < columns; ++x) {
            bool existed = x < oldColumns && y < oldRows;
            bool dirty = !existed || (old[y * ((oldColumns + 7) / 8) + x / 8] >> (x % 8) & 1);
            SetBit(x, y, dirty);
        }
    }
    std::free(old);
    mLacking.assign(std::size_t(columns) * rows, 0);
    mLackingSince.assign(mLacking.size(), 0);
    ResetScan();
}

RECT ChangeGrid::GetArea() {
    CriticalSectionLock lock(mLock);
    return mArea;
}

void ChangeGrid::Mark(RECT const& rect) {
    CriticalSectionLock lock(mLock);
    long left = std::max(std::min(rect.left, rect.right), mArea.left);
    long top = std::max(std::min(rect.top, rect.bottom), mArea.top);
    long right = std::min(std::max(rect.left, rect.right), mArea.right);
    long bottom = std::min(std::max(rect.top, rect.bottom), mArea.bottom);
    long x1 = (left - mArea.left) / kCellSize;
    long y1 = (top - mArea.top) / kCellSize;
    // An edge that reaches the area's end converts to one past the last cell when the area's
    // size is a whole number of cells: that index is clamped, it never reaches the bits.
    long x2 = std::min<long>((right - mArea.left) / kCellSize, mColumns - 1);
    long y2 = std::min<long>((bottom - mArea.top) / kCellSize, mRows - 1);
    if (x1 <= x2 && y1 <= y2) {
        SetBits(int(x1), int(y1), int(x2), int(y2), true);
    }
}

void ChangeGrid::Clear() {
    CriticalSectionLock lock(mLock);
    if (mBits) {
        std::memset(mBits, 0, mTotalBytes);
    }
    ResetScan();
}

void ChangeGrid::Forget() {
    CriticalSectionLock lock(mLock);
    mFullRefresh = 0;
    Clear();
}

std::vector<unsigned char> ChangeGrid::DirtyState() {
    CriticalSectionLock lock(mLock);
    std::vector<unsigned char> state(mBits, mBits + (mBits ? mTotalBytes : 0));
    state.push_back(static_cast<unsigned char>(mFullRefresh));
    return state;
}

bool ChangeGrid::IsClean() {
    CriticalSectionLock lock(mLock);
    return !mFullRefresh && std::all_of(mBits, mBits + (mBits ? mTotalBytes : 0),
                                        [](unsigned char byte) { return byte == 0; });
}

void ChangeGrid::StartPass() {
    CriticalSectionLock lock(mLock);
    ResetScan();
}

void ChangeGrid::ResetScan() {
    mCursor = 0;
}

bool ChangeGrid::NextChangedRect(RECT& rect) {
    CriticalSectionLock lock(mLock);
    if (mFullRefresh) {
        mFullRefresh = 0;
        Clear();
        rect = mArea;
        return rect.left < rect.right && rect.top < rect.bottom;
    }
    int x0 = 0;
    int y0 = 0;
    do {
        if (!TakeNextDirtyCell(x0, y0)) {
            return false;
        }
    } while (!mOwner.HasCellChanged(x0, y0, CellRect(x0, y0)));
    int bestX = x0;
    int bestY = y0;
    MergeFrom(x0, y0, bestX, bestY);
    SetBits(x0, y0, bestX, bestY, false);
    RECT block = CellRect(x0, y0);
    RECT last = CellRect(bestX, bestY);
    block.right = last.right;
    block.bottom = last.bottom;
    rect = ClampToArea(block);
    return rect.left < rect.right && rect.top < rect.bottom;
}

// Grows the block row by row; each row may only be as wide as the narrowest row above it.
void ChangeGrid::MergeFrom(int x0, int y0, int& bestX, int& bestY) {
    int maxX = mColumns - 1;
    long best = 0;
    for (int y = y0;; ++y) {
        int xEnd = x0;
        for (int x = x0 + 1; x <= maxX && IsChangedCell(x, y); ++x) {
            xEnd = x;
        }
        maxX = std::min(maxX, xEnd);
        long size = long(xEnd - x0 + 1) * long(y - y0 + 1);
        if (size > best) {
            best = size;
            bestX = xEnd;
            bestY = y;
        }
        if (y + 1 >= mRows || !IsChangedCell(x0, y + 1)) {
            return;
        }
    }
}

bool ChangeGrid::IsChangedCell(int column, int row) {
    if (!Bit(column, row)) {
        return false;
    }
    if (mOwner.HasCellChanged(column, row, CellRect(column, row))) {
        return true;
    }
    SetBit(column, row, false);
    return false;
}

bool ChangeGrid::TakeNextDirtyCell(int& column, int& row) {
    for (int const cells = mColumns * mRows; mCursor < cells; ++mCursor) {
        int const x = mCursor % mColumns;
        int const y = mCursor / mColumns;
        if (x % 8 == 0 && mBits[std::size_t(y) * mStride + x / 8] == 0) {
            mCursor += std::min(8, mColumns - x) - 1;  // a clean byte: eight cells at once
            continue;
        }
        if (Bit(x, y)) {
            SetBit(x, y, false);
            column = x;
            row = y;
            ++mCursor;
            return true;
        }
    }
    return false;
}

void ChangeGrid::MarkLacking(RECT const& rect, DWORD since) {
    CriticalSectionLock lock(mLock);
    long const x1 = std::max(0L, (rect.left - mArea.left) / kCellSize);
    long const y1 = std::max(0L, (rect.top - mArea.top) / kCellSize);
    long const x2 = std::min<long>((rect.right - 1 - mArea.left) / kCellSize, mColumns - 1);
    long const y2 = std::min<long>((rect.bottom - 1 - mArea.top) / kCellSize, mRows - 1);
    for (long y = y1; y <= y2 && rect.left < rect.right && rect.top < rect.bottom; ++y) {
        for (long x = x1; x <= x2; ++x) {
            std::size_t const cell = std::size_t(y) * mColumns + x;
            mLacking[cell] = 1;
            mLackingSince[cell] = since;
        }
    }
}

bool ChangeGrid::IsDue(std::size_t cell, DWORD now, DWORD stillMs) const {
    return mLacking[cell] && now - mLackingSince[cell] >= stillMs;
}

std::vector<RECT> ChangeGrid::TakeLacking(DWORD now, DWORD stillMs, int maxCells) {
    CriticalSectionLock lock(mLock);
    std::vector<RECT> runs;
    for (int y = 0; y < mRows && maxCells > 0; ++y) {
        for (int x = 0; x < mColumns && maxCells > 0; ++x) {
            std::size_t const first = std::size_t(y) * mColumns + x;
            if (!IsDue(first, now, stillMs)) {
                continue;
            }
            int end = x;
            for (; end < mColumns && maxCells > 0 && IsDue(first + (end - x), now, stillMs);
                 ++end, --maxCells) {
                mLacking[first + (end - x)] = 0;
            }
            RECT run = CellRect(x, y);
            run.right = CellRect(end - 1, y).right;
            runs.push_back(ClampToArea(run));
            x = end;
        }
    }
    return runs;
}

DWORD ChangeGrid::NextLackingDue(DWORD now, DWORD stillMs) {
    CriticalSectionLock lock(mLock);
    DWORD next = INFINITE;
    for (std::size_t cell = 0; cell < mLacking.size(); ++cell) {
        if (mLacking[cell]) {
            DWORD const waited = now - mLackingSince[cell];
            next = std::min(next, waited >= stillMs ? 0 : stillMs - waited);
        }
    }
    return next;
}

bool ChangeGrid::DirtySpan(int row, int& first, int& last) {
    CriticalSectionLock lock(mLock);
    first = -1;
    for (int x = 0; row >= 0 && row < mRows && x < mColumns; ++x) {
        if (Bit(x, row)) {
            first = first < 0 ? x : first;
            last = x;
        }
    }
    return first >= 0;
}

bool ChangeGrid::IsDirty(int column, int row) {
    CriticalSectionLock lock(mLock);
    return column >= 0 && row >= 0 && column < mColumns && row < mRows && Bit(column, row);
}

RECT ChangeGrid::CellRect(int column, int row) const {
    long left = mArea.left + long(column) * kCellSize;
    long top = mArea.top + long(row) * kCellSize;
    return RECT{left, top, left + kCellSize, top + kCellSize};
}

RECT ChangeGrid::ClampToArea(RECT rect) const {
    rect.left = std::max(rect.left, mArea.left);
    rect.top = std::max(rect.top, mArea.top);
    rect.right = std::min(rect.right, mArea.right);
    rect.bottom = std::min(rect.bottom, mArea.bottom);
    return rect;
}

void ChangeGrid::SetBits(int x1, int y1, int x2, int y2, bool dirty) {
    for (int y = y1; y <= y2; ++y) {
        unsigned char* line = mBits + std::size_t(y) * mStride;
        int firstByte = x1 / 8;
        int lastByte = x2 / 8;
        for (int index = firstByte; index <= lastByte; ++index) {
            unsigned mask = 0xFF;
            if (index == firstByte) {
                mask &= 0xFFu << (x1 % 8);
            }
            if (index == lastByte) {
                mask &= 0xFFu >> (7 - x2 % 8);
            }
            line[index] = static_cast<unsigned char>(dirty ? line[index] | mask : line[index] & ~mask);
        }
    }
}

void ChangeGrid::SetBit(int column, int row, bool dirty) {
    SetBits(column, row, column, row, dirty);
}

bool ChangeGrid::Bit(int column, int row) const {
    return mBits[std::size_t(row) * mStride + column / 8] >> (column % 8) & 1;
}
