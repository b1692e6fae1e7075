#pragma once

#include "CorvaneApi.h"

#include "foundation/CriticalSection.h"
#include "foundation/ScreenSize.h"
#include "foundation/WinTypes.h"

class ChangedRegion;
class Picture;

// The viewer's copy of the remote screen: a memory context compatible with the screen holding
// a bitmap of the sharer's frame size. Frames are drawn into it on the thread that receives
// them ("SkypeEvent") while the user interface reads it from its own thread; every drawing
// and resizing call holds the surface's lock for the whole call, so a reader that holds the
// lock too (Snapshot, CopyTo, or a Reader around its own use of the context) sees each frame
// either wholly or not at all.
class CORVANE_API RemoteScreenSurface {
public:
    // Frame sides above this are refused.
    static constexpr long kMaxSide = 16384;

    // Holds the surface's lock for its lifetime, for a reader that uses the context itself.
    // The surface must outlive it. Drawing waits meanwhile, so keep it short.
    class CORVANE_API Reader {
    public:
        explicit Reader(RemoteScreenSurface const& surface);
        ~Reader();
        Reader(Reader const&) = delete;
        Reader& operator=(Reader const&) = delete;

        // Null before the first Resize; valid while the Reader lives.
        HDC GetDC() const { return mSurface.mDC; }
        ScreenSize GetSize() const { return mSurface.mSize; }

    private:
        RemoteScreenSurface const& mSurface;
    };

    // No context yet (size 0 x 0).
    RemoteScreenSurface();
    ~RemoteScreenSurface();
    RemoteScreenSurface(RemoteScreenSurface const&) = delete;
    RemoteScreenSurface& operator=(RemoteScreenSurface const&) = delete;

    // Gives the surface `size`: unless it has that size already, the context is made anew,
    // black. False, with the surface as it was, for a side of 0 or above kMaxSide, more pixels
    // than a Picture may hold, or when GDI cannot make the context. Drawing thread.
    bool Resize(ScreenSize size);
    // The size the context has (0 x 0 before the first Resize). Any thread.
    ScreenSize GetSize() const;
    // The context itself, for the drawing thread (which is the only one that changes it) and
    // for handlers it calls; other threads use a Reader. Null before the first Resize.
    HDC GetDC() const { return mDC; }

    // Draws a change packet at `bytesPerPixel` and gives the changed region, clipped to the
    // surface, owned by the caller (DeleteObject); null without a context. Drawing thread.
    HRGN DrawPacket(void const* packet, unsigned long size, int bytesPerPixel);
    // Draws `picture` with its top-left corner at `rect`'s and adds `rect`, clipped to the
    // surface, to `changed`. Nothing without a context. Raises what Picture::Draw raises.
    // Drawing thread.
    void DrawPicture(Picture const& picture, RECT const& rect, ChangedRegion& changed);
    // The same, adding to `region` (made when null; owned by the caller) at once: for a few
    // pictures, since each addition costs time in proportion to the region.
    void DrawPicture(Picture const& picture, RECT const& rect, HRGN& region);

    // A copy of the whole surface as it stands between frames; empty without a context.
    // Raises BaseError when it cannot be read. Any thread.
    Picture Snapshot() const;
    // Copies the surface onto `destination` of `target` between frames, stretched (HALFTONE)
    // when the sizes differ. False without a context or when GDI fails. Any thread.
    bool CopyTo(HDC target, RECT const& destination) const;

private:
    void Delete();
    // Draws `picture` at `rect` and gives the part of `rect` on the surface; false when nothing
    // was drawn. Called with the lock held.
    bool DrawAt(Picture const& picture, RECT const& rect, RECT& clip);

    mutable CriticalSection mLock;
    HDC mDC;            // owned; null until the first Resize
    HBITMAP mBitmap;    // owned; selected into mDC
    HGDIOBJ mPrevious;  // what mDC held before mBitmap, put back before deleting
    ScreenSize mSize;
};
