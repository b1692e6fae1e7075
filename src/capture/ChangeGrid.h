#pragma once

#include <windows.h>

#include <vector>

#include "foundation/CriticalSection.h"

// What the grid asks about a dirty cell: have its pixels changed since they were last sent?
class ICellComparer {
public:
    virtual ~ICellComparer() = default;
    // `cell` is the cell's 32 x 32 rectangle, at grid column `column` and row `row`. Called
    // with the grid's lock held.
    virtual bool HasCellChanged(int column, int row, RECT const& cell) = 0;
};

// One dirty bit per 32 x 32 cell of the tracked area. Windows mark the cells they cover; a
// pass scans the grid once from the first cell and grows each changed cell into the largest
// block of changed cells to its right and below, so that everything changed goes out
// together and no area waits for a scan to come round. The grid also remembers which cells
// the viewer lacks exactly (sent lossy, or not sent at all) and since when. Every operation
// takes the grid's lock: marking comes from the window-enumeration thread, the rest from the
// tracker thread.
class ChangeGrid {
public:
    static constexpr int kCellSize = 32;

    // `owner` compares cells and must outlive the grid. The grid starts with no cells.
    explicit ChangeGrid(ICellComparer& owner);
    ~ChangeGrid();
    ChangeGrid(ChangeGrid const&) = delete;
    ChangeGrid& operator=(ChangeGrid const&) = delete;

    // Tracks `area` from now on. Cells that existed before keep their bits, new ones start
    // dirty and lack nothing; the scan starts again from the first cell.
    void SetArea(RECT const& area);
    RECT GetArea();
    // Marks the cells that the rectangle touches inside the tracked area.
    void Mark(RECT const& rect);
    // Clears every dirty bit and restarts the scan; a pending full refresh stays pending.
    void Clear();
    // As Clear, and the pending full refresh goes too: the grid holds nothing to hand out.
    void Forget();
    // The dirty bits, with the pending full refresh as a last byte: two grids that give the
    // same give the same rectangles when every dirty cell counts as changed.
    std::vector<unsigned char> DirtyState();
    // True when nothing is dirty and no full refresh is pending.
    bool IsClean();
    // Starts a pass: the scan begins again at the first cell.
    void StartPass();
    // The next rectangle of changed cells after the scan position, clamped to the tracked area,
    // and clears their bits. The first call after construction returns the whole tracked area.
    // False when no dirty cell up to the grid's end has changed (cells marked behind the scan
    // wait for the next pass); every dirty cell looked at and found unchanged is cleared.
    bool NextChangedRect(RECT& rect);

    // The viewer lacks the exact pixels of the cells `rect` touches since `since` (a tick
    // count); a later call restarts their time.
    void MarkLacking(RECT const& rect, DWORD since);
    // Up to `maxCells` cells that have lacked their pixels for `stillMs` or more at `now`, as
    // runs of a grid row clamped to the tracked area, top to bottom; they lack nothing after.
    std::vector<RECT> TakeLacking(DWORD now, DWORD stillMs, int maxCells);
    // Milliseconds from `now` until the first lacking cell has waited `stillMs`: 0 when one
    // has, INFINITE when none lacks anything.
    DWORD NextLackingDue(DWORD now, DWORD stillMs);
    // The first and last dirty column of grid row `row`; false when it has none.
    bool DirtySpan(int row, int& first, int& last);

    int GetColumns() const { return mColumns; }
    int GetRows() const { return mRows; }
    bool IsDirty(int column, int row);

private:
    bool TakeNextDirtyCell(int& column, int& row);
    bool IsDue(std::size_t cell, DWORD now, DWORD stillMs) const;
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
    int mCursor = 0;                      // the scan's next cell, row by row
    std::vector<unsigned char> mLacking;  // per cell, row by row: 1 when the viewer lacks it
    std::vector<DWORD> mLackingSince;
    RECT mArea = {0, 0, 0, 0};
    int mFullRefresh = 1;
    ICellComparer& mOwner;
    CriticalSection mLock;
};
