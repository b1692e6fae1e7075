#include "viewer/RemoteScreenSurface.h"

#include <cstdint>

#include "imaging/Picture.h"
#include "viewer/DrawingHelper.h"

RemoteScreenSurface::Reader::Reader(RemoteScreenSurface const& surface) : mSurface(surface) {
    mSurface.mLock.Lock();
}

RemoteScreenSurface::Reader::~Reader() {
    mSurface.mLock.Unlock();
}

RemoteScreenSurface::RemoteScreenSurface()
    : mDC(nullptr), mBitmap(nullptr), mPrevious(nullptr), mSize{0, 0} {}

RemoteScreenSurface::~RemoteScreenSurface() {
    Delete();
}

void RemoteScreenSurface::Delete() {
    if (mDC) {
        SelectObject(mDC, mPrevious);
        DeleteObject(mBitmap);
        DeleteDC(mDC);
    }
    mDC = nullptr;
    mBitmap = nullptr;
    mPrevious = nullptr;
    mSize = ScreenSize{0, 0};
}

bool RemoteScreenSurface::Resize(ScreenSize size) {
    if (size.cx <= 0 || size.cy <= 0 || size.cx > kMaxSide || size.cy > kMaxSide ||
        std::uint64_t(size.cx) * std::uint64_t(size.cy) > Picture::kMaxPixels) {
        return false;
    }
    CriticalSectionLock lock(mLock);
    if (mDC && size.cx == mSize.cx && size.cy == mSize.cy) {
        return true;
    }
    HDC screen = ::GetDC(nullptr);
    HDC dc = screen ? CreateCompatibleDC(screen) : nullptr;
    HBITMAP bitmap = dc ? CreateCompatibleBitmap(screen, size.cx, size.cy) : nullptr;
    if (screen) {
        ReleaseDC(nullptr, screen);
    }
    if (!bitmap) {
        if (dc) {
            DeleteDC(dc);
        }
        return false;
    }
    Delete();
    mDC = dc;
    mBitmap = bitmap;
    mPrevious = SelectObject(dc, bitmap);
    mSize = size;
    PatBlt(dc, 0, 0, size.cx, size.cy, BLACKNESS);
    return true;
}

ScreenSize RemoteScreenSurface::GetSize() const {
    CriticalSectionLock lock(mLock);
    return mSize;
}

HRGN RemoteScreenSurface::DrawPacket(void const* packet, unsigned long size, int bytesPerPixel) {
    CriticalSectionLock lock(mLock);
    return mDC ? DrawingHelper::DrawRectangle(mDC, packet, size, bytesPerPixel, true) : nullptr;
}

bool RemoteScreenSurface::DrawAt(Picture const& picture, RECT const& rect, RECT& clip) {
    RECT const area = {0, 0, mSize.cx, mSize.cy};
    if (!mDC || !IntersectRect(&clip, &rect, &area)) {
        return false;
    }
    picture.Draw(mDC, int(rect.left), int(rect.top));
    GdiFlush();
    return true;
}

void RemoteScreenSurface::DrawPicture(Picture const& picture, RECT const& rect, ChangedRegion& changed) {
    CriticalSectionLock lock(mLock);
    RECT clip;
    if (DrawAt(picture, rect, clip)) {
        changed.Add(clip);
    }
}

void RemoteScreenSurface::DrawPicture(Picture const& picture, RECT const& rect, HRGN& region) {
    CriticalSectionLock lock(mLock);
    RECT clip;
    if (!DrawAt(picture, rect, clip)) {
        return;
    }
    HRGN piece = CreateRectRgnIndirect(&clip);
    if (!region) {
        region = piece;
    } else if (piece) {
        CombineRgn(region, region, piece, RGN_OR);
        DeleteObject(piece);
    }
}

Picture RemoteScreenSurface::Snapshot() const {
    CriticalSectionLock lock(mLock);
    return mBitmap ? Picture::FromBitmap(mBitmap) : Picture();
}

bool RemoteScreenSurface::CopyTo(HDC target, RECT const& destination) const {
    CriticalSectionLock lock(mLock);
    int width = int(destination.right - destination.left);
    int height = int(destination.bottom - destination.top);
    if (!mDC || !target) {
        return false;
    }
    if (width == mSize.cx && height == mSize.cy) {
        return BitBlt(target, destination.left, destination.top, width, height, mDC, 0, 0, SRCCOPY) != FALSE;
    }
    int mode = SetStretchBltMode(target, HALFTONE);
    SetBrushOrgEx(target, 0, 0, nullptr);
    bool copied = StretchBlt(target, destination.left, destination.top, width, height, mDC, 0, 0, mSize.cx,
                             mSize.cy, SRCCOPY) != FALSE;
    SetStretchBltMode(target, mode);
    return copied;
}
