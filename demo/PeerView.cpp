#include "PeerView.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "imaging/Picture.h"
#include "viewer/RemoteScreenSurface.h"

PeerView::~PeerView() {
    Forget();
}

void PeerView::Forget() {
    if (mSession) {
        mSession->RemoteScreenChanged.Remove(MakeDelegate<&PeerView::OnDrawn>(this));
        mSession->StateChanged.Remove(MakeDelegate<&PeerView::OnStateChanged>(this));
    }
    mSession = nullptr;
}

// A session that empties (its manager drops it) raises nothing afterwards: let it go.
void PeerView::OnStateChanged(ISession*, ISessionState* state) {
    if (!state) {
        Forget();
    }
}

void PeerView::Watch(ISession& session) {
    Forget();
    mSession = &session;
    {
        std::lock_guard<std::mutex> lock(mLock);
        mFrames = 0;
        mArea = 0;
        mSurface.reset();
    }
    session.RemoteScreenChanged.Add(MakeDelegate<&PeerView::OnDrawn>(this));
    session.StateChanged.Add(MakeDelegate<&PeerView::OnStateChanged>(this));
}

double PeerView::NowMs() {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// "SkypeEvent", between two frames: the event's dc may be read without the surface's lock.
void PeerView::OnDrawn(ISession::RemoteScreenChangeArgs const& args) {
    double const now = NowMs();
    long long const changed = args.changed ? RegionPixels(args.changed) : 0;
    DrawnHandler drawn;
    {
        std::lock_guard<std::mutex> lock(mLock);
        if (mFrames++ == 0) {
            mFirstMs = now;
        }
        mLastMs = now;
        mArea += changed;
        mSize = SIZE{args.width, args.height};
        mSurface = args.surface;
        if (mSeenMs < 0 && mWatch.x >= 0 && Matches(args.dc)) {
            mSeenMs = now;
        }
        drawn = mDrawn;
    }
    if (drawn) {
        drawn(args.dc, SIZE{args.width, args.height}, changed);
    }
}

// The pixels of the region's rectangles, which do not overlap.
long long PeerView::RegionPixels(HRGN region) {
    DWORD const bytes = GetRegionData(region, 0, nullptr);
    if (bytes < sizeof(RGNDATAHEADER)) {
        return 0;
    }
    std::vector<unsigned char> buffer(bytes);
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    if (!GetRegionData(region, bytes, data)) {
        return 0;
    }
    auto const* rects = reinterpret_cast<RECT const*>(data->Buffer);
    long long pixels = 0;
    for (DWORD i = 0; i < data->rdh.nCount; ++i) {
        pixels += static_cast<long long>(rects[i].right - rects[i].left) * (rects[i].bottom - rects[i].top);
    }
    return pixels;
}

void PeerView::SetDrawnHandler(DrawnHandler handler) {
    std::lock_guard<std::mutex> lock(mLock);
    mDrawn = std::move(handler);
}

std::string PeerView::Checksum(std::vector<unsigned char> const& bytes) {
    unsigned long long hash = 1469598103934665603ull;
    for (unsigned char byte : bytes) {
        hash = (hash ^ byte) * 1099511628211ull;
    }
    char text[20];
    std::snprintf(text, sizeof(text), "%016llx", hash);
    return text;
}

std::string PeerView::PictureChecksum() {
    std::shared_ptr<RemoteScreenSurface const> surface;
    {
        std::lock_guard<std::mutex> lock(mLock);
        surface = mSurface;
    }
    Picture const picture = surface ? surface->Snapshot() : Picture();
    return picture.IsEmpty() ? std::string() : Checksum(picture.GetBgr24());
}

bool PeerView::Matches(HDC dc) const {
    COLORREF const pixel = GetPixel(dc, mWatch.x, mWatch.y);
    if (pixel == CLR_INVALID) {
        return false;
    }
    unsigned const actual = (GetRValue(pixel) << 16) | (GetGValue(pixel) << 8) | GetBValue(pixel);
    for (int shift = 0; shift < 24; shift += 8) {
        if (std::abs(static_cast<int>((actual >> shift) & 0xFF) -
                     static_cast<int>((mColour >> shift) & 0xFF)) > 48) {
            return false;
        }
    }
    return true;
}

std::string PeerView::Stats() {
    std::lock_guard<std::mutex> lock(mLock);
    double const seconds = (mLastMs - mFirstMs) / 1000.0;
    char text[160];
    std::snprintf(text, sizeof(text), "frames %lld, area %lld px, fps %.1f over %.1f s, last %ldx%ld",
                  mFrames, mArea, seconds > 0 ? (mFrames - 1) / seconds : 0.0, seconds, mSize.cx, mSize.cy);
    return text;
}

bool PeerView::Save(std::wstring const& path) {
    std::shared_ptr<RemoteScreenSurface const> surface;
    {
        std::lock_guard<std::mutex> lock(mLock);
        surface = mSurface;
    }
    if (!surface) {
        return false;
    }
    // Snapshot holds the surface's lock: the copy is whole frames only.
    Picture const picture = surface->Snapshot();
    if (picture.IsEmpty()) {
        return false;
    }
    picture.Save(path, Picture::Format::Png);
    return true;
}

double PeerView::WaitForColour(int x, int y, unsigned colour, DWORD timeoutMs) {
    {
        std::lock_guard<std::mutex> lock(mLock);
        mWatch = POINT{x, y};
        mColour = colour;
        mSeenMs = -1;
    }
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(2)) {
        std::lock_guard<std::mutex> lock(mLock);
        if (mSeenMs >= 0) {
            return mSeenMs;
        }
    }
    return -1;
}

bool PeerView::WaitQuiet(DWORD quietMs, DWORD timeoutMs) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(20)) {
        std::lock_guard<std::mutex> lock(mLock);
        if (mFrames > 0 && NowMs() - mLastMs >= quietMs) {
            return true;
        }
    }
    return false;
}
