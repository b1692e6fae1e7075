#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "session/ISession.h"

class ISessionState;
class RemoteScreenSurface;

// What the viewer of the peer host sees: counts the frames a session draws, keeps the drawn
// surface for saving, and notes when a watched point of the picture takes a colour (for the
// delay from a change on the sharer's screen to the picture here). Frames arrive on
// "SkypeEvent"; the commands ask from the command reader's thread.
class PeerView {
public:
    PeerView() = default;
    // Stops watching.
    ~PeerView();
    PeerView(PeerView const&) = delete;
    PeerView& operator=(PeerView const&) = delete;

    // Watches `session` (which must outlive the view or the next Watch) from now on, counting
    // from 0.
    void Watch(ISession& session);
    // "frames N, area M px, fps F over S s, last WxH".
    std::string Stats();
    // Writes the picture as PNG; false without one.
    bool Save(std::wstring const& path);
    // Waits until the picture's (x, y) is within 48 of `colour` (0xRRGGBB) in every component;
    // the performance counter's milliseconds when a frame first showed it, -1 after `timeoutMs`.
    double WaitForColour(int x, int y, unsigned colour, DWORD timeoutMs);
    // Waits until no frame came for `quietMs`; false after `timeoutMs`.
    bool WaitQuiet(DWORD quietMs, DWORD timeoutMs);
    // The picture's checksum (of its packed blue, green, red rows); empty without a picture.
    std::string PictureChecksum();

    // Called on "SkypeEvent" after each frame with the context that holds the picture, its
    // size and the pixels the frame changed. Set from any thread; empty to stop.
    using DrawnHandler = std::function<void(HDC dc, SIZE size, long long changed)>;
    void SetDrawnHandler(DrawnHandler handler);

    // Hex FNV-1a of the bytes: what a picture or a screen is compared by.
    static std::string Checksum(std::vector<unsigned char> const& bytes);

    // The performance counter in milliseconds: one clock for every process of this computer.
    static double NowMs();

private:
    void OnDrawn(ISession::RemoteScreenChangeArgs const& args);
    void OnStateChanged(ISession* session, ISessionState* state);
    void Forget();
    bool Matches(HDC dc) const;
    static long long RegionPixels(HRGN region);

    ISession* mSession = nullptr;  // null once it emptied
    std::mutex mLock;
    std::shared_ptr<RemoteScreenSurface const> mSurface;
    long long mFrames = 0;
    long long mArea = 0;
    double mFirstMs = 0;
    double mLastMs = 0;
    SIZE mSize = {0, 0};
    POINT mWatch = {-1, -1};
    unsigned mColour = 0;
    double mSeenMs = -1;
    DrawnHandler mDrawn;
};
