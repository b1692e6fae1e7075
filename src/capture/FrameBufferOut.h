#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "capture/ChangeGrid.h"
#include "capture/FrameBuffer.h"
#include "capture/ScreenBands.h"

class CQuvixCursorShape;
class CQuvixSurface;

// The sharing side's view of the screen: the last frame sent, and which areas may have
// changed since. Areas are marked from window rectangles (InvalidateRect), checked against
// the live screen, and handed out as a change packet in the frame's pixel format: u32 count,
// then per rectangle left, top, right, bottom as u16 (right and bottom exclusive) and its
// pixels. One packet holds every changed rectangle one pass finds. It also remembers the
// cells the viewer lacks exactly (sent lossy, or lost) and hands them out again from the
// stored frame once they have been still. With the mirror driver attached the driver's own
// change list is handed out instead. The tracked area is the whole frame. InvalidateRect may
// come from any thread; everything else belongs to the tracker thread.
class CFrameBufferOut : public CFrameBuffer, private ICellComparer {
public:
    // Grabbing mode: the frame takes the screen's size, every cell starts dirty and the first
    // packet covers the whole frame. Driver mode: size and depth come with SetCaps.
    CFrameBufferOut();
    ~CFrameBufferOut() override;

    // Driver mode: keeps the size, the depth when it is above 0, and connects to the driver
    // at that depth. Grabbing mode: a zeroed frame of this size and depth; cells that existed
    // before keep their bits, new ones start dirty.
    virtual void SetCaps(int width, int height, int bytesPerPixel);

    // True on the NT platform with the mirror driver attached.
    static bool DriverCanBeUsed();
    // 1 in driver mode, else 0.
    int UseDriver();
    // Decides the mode again and, when grabbing, takes the screen's current size (the frame is
    // zeroed; cells that existed before keep their bits). The argument is not used.
    void ReInitialize(int reason);
    // Marks the cells the rectangle touches as possibly changed; ignored in driver mode.
    void InvalidateRect(RECT const& rect);
    // Clears every dirty bit and restarts the scan.
    void Clear();

    // The next change packet and its size. `owned` is 1 when the caller must release the
    // packet (FreeData or free), 0 when it is the driver's memory (valid until the next call).
    // False when nothing changed or on failure. Grabbing gives every changed rectangle of one
    // pass over the marked cells.
    bool GetData(void*& data, unsigned long& size, int& owned);
    // The viewer lacks the exact pixels of the packet's rectangles since `since` (a tick
    // count). Nothing in driver mode.
    void NoteLacking(void const* packet, unsigned long size, DWORD since);
    // A packet (owned, release with free) of the stored frame's pixels in up to `maxCells`
    // cells that the viewer has lacked for `stillMs` or more at `now`; they count as sent.
    // False when none is due, in driver mode or on failure.
    bool GetRefinement(void*& data, unsigned long& size, DWORD now, DWORD stillMs, int maxCells);
    // A packet (owned, release with free) of the stored frame's pixels in `rects`, which lie
    // inside the frame (others are left out): what a viewer that missed changes lacks. False
    // when there is nothing to give, in driver mode or on failure. Tracker thread.
    bool GetStored(std::vector<RECT> const& rects, void*& data, unsigned long& size);
    // Milliseconds until a refinement is due: 0 now, INFINITE when the viewer lacks nothing.
    DWORD NextRefinementDue(DWORD now, DWORD stillMs);
    // As GetData when grabbing; in driver mode every rectangle is rescaled from the frame's size to `target`
    // and converted to `targetBytesPerPixel`, in a new packet the caller owns (release it with
    // free). Raises BaseError "Allocation error" when that packet cannot be allocated.
    bool GetDataStratched(void*& data, unsigned long& size, int& owned, SIZE& target,
                          int targetBytesPerPixel);
    // Releases a packet of GetData; nothing in driver mode.
    void FreeData(void* data);
    // The driver's change counter; 0 when grabbing or without a driver connection.
    long GetChangedValue();
    // The driver's cursor shape (owned by the connection); null without one.
    CQuvixCursorShape* GetCursorInfo();
    // Reads the cursor position into `point`: 0 when it cannot be read (or `point` is null),
    // else nonzero exactly when it moved since the previous successful call, which stores it.
    int GetCursorPos(POINT* point);

    // Grabs the rectangle and tells whether it differs from the stored frame (true as well
    // when it is not inside the frame). The stored frame is not changed.
    bool HasRectChanged(RECT const& rect);
    // Grabs `rect` of `source` into `out` (packed, top-down, `bytesPerPixel` per pixel),
    // through a 24-bit DIB, and releases `source` to the screen. False when a GDI call fails or
    // the depth is none of the packet's (the buffer would go out unwritten).
    static bool GrabRectFromScreen(HDC source, RECT const& rect, unsigned char* out,
                                   unsigned long rasterOperation, int bytesPerPixel);

protected:
    // Grabs from the screen in the frame's depth with the buffer's raster operation.
    bool GrabRectFromScreen(RECT const& rect, unsigned char* out);
    // Trims `rect` and its grabbed `pixels` to the pixels that differ from the stored frame and
    // stores them. The block may move (it shrinks). False when nothing differs.
    bool ProcessChanges(RECT& rect, unsigned char*& pixels);

private:
    bool HasCellChanged(int column, int row, RECT const& cell) override;
    // ProcessChanges on a block that stays where it is: the trimmed rows are packed at its start.
    bool TrimAndStore(RECT& rect, unsigned char* pixels);
    bool GrabCellBand(int column, int row, RECT const& inside);
    bool DiffersFromFrame(RECT const& rect, unsigned char const* pixels, std::size_t stride) const;
    bool CopyFromBands(RECT const& rect, unsigned char* out);
    bool GetGrabbedData(void*& data, unsigned long& size);
    bool GetDriverData(void*& data, unsigned long& size);
    void TrackWholeFrame();
    void DecideMode();

    unsigned long mRasterOperation;
    ChangeGrid mGrid;
    ScreenBands mBands;
    CQuvixSurface* mSurface = nullptr;  // owned; the driver connection in driver mode
    int mDriverMode = 0;
    POINT mLastCursor = {0, 0};
};
