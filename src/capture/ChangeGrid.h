#pragma once

#include <windows.h>

#include "foundation/CriticalSection.h"

// What the grid asks about a dirty cell: have its pixels changed since they were last sent?
class ICellComparer {
public:
    virtual ~ICellComparer() = default;
    // `cell` is the cell's 32 x 32 rectangle, at grid column `column` and row `row`. Called
    // with the grid's lock held.
    virtual bool HasCellChanged(int column, int row, RECT const& cell) = 0;
};

// One dirty bit per 32 x 32 cell of the tracked area. Windows mark the cells they cover; the
// scan takes dirty cells in rotation, so every part of the screen gets its turn, and grows a
// changed cell into the largest block of changed cells to its right and below. Every
// operation takes the grid's lock: marking comes from the window-enumeration thread, the
// queries from the tracker thread.
class ChangeGrid {
public:
    static constexpr int kCellSize = 32;

    // `owner` compares cells and must outlive the grid. The grid starts with no cells.
    explicit ChangeGrid(ICellComparer& owner);
    ~ChangeGrid();
    ChangeGrid(ChangeGrid const&) = delete;
    ChangeGrid& operator=(ChangeGrid const&) = delete;

    // Tracks `area` from now on. Cells that existed before keep their bits, new ones start
    // dirty; the scan starts again from the first cell.
    void SetArea(RECT const& area);
    RECT GetArea();
    // Marks the cells that the rectangle touches inside the tracked area.
    void Mark(RECT const& rect);
    // Clears every dirty bit and restarts the scan; a pending full refresh stays pending.
    void Clear();
    // The next rectangle of changed cells, clamped to the tracked area, and clears their bits.
    // The first call after construction returns the whole tracked area. False when no dirty
    // cell has changed; every dirty cell looked at and found unchanged is cleared.
    bool NextChangedRect(RECT& rect);
    // The first and last dirty column of grid row `row`; false when it has none.
    bool DirtySpan(int row, int& first, int& last);

    int GetColumns() const { return mColumns; }
    int GetRows() const { return mRows; }
    bool IsDirty(int column, int row);

private:
    bool TakeNextDirtyCell(int& column, int& row);
    bool FindDirtyByte();
    void MergeFrom(int x0, int y0, int& bestX, int& bestY);
    // Dirty and changed; a dirty cell found unchanged is cleared.
    bool IsChangedCell(int column, int row);
    RECT CellRect(int column, int row) const;
    RECT ClampToArea(RECT rect) const;
    void SetBits(int x1, int y1, int x2, int y2, bool dirty);
    void SetBit(int column, int row, bool dirty);
    bool Bit(int column, int row) const;
    void ResetScan();

    unsigned char* mBits = nullptr;  // owned; one bit per cell, least significant bit first
    unsigned mTotalBytes = 0;
    int mColumns = 0;
    int mStride = 0;  // bytes per grid row
    int mRows = 0;
    unsigned mCursor = 0;  // byte index of the scan
    unsigned char mMask = 0xFF;
    bool mEmpty = true;
    RECT mArea = {0, 0, 0, 0};
    int mFullRefresh = 1;
    ICellComparer& mOwner;
    CriticalSection mLock;
};
