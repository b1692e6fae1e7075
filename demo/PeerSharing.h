#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "PeerOutput.h"
#include "PeerSessions.h"
#include "SharingTap.h"
#include "WorkerThread.h"
#include "foundation/CriticalSection.h"
#include "foundation/SyncEvent.h"

// What the peer host needs to show sharing from outside: a tap beside the viewer's session
// that rebuilds the sharer's screen from raw changes, the screen's checksum, the viewer's
// mouse sent as input, the cursor, and clipboards pushed and pulled through the session.
// Commands come from the command reader's thread.
class ISkypeApplication;

class PeerSharing {
public:
    // Not owned; both must outlive this.
    PeerSharing(PeerSessions& sessions, PeerOutput& output);
    ~PeerSharing();

    // Starts listening to what the contact sends ("tap <contact>"), and watches the view of its
    // session; before the sharing starts, so that the full frame is seen.
    void Tap(std::string const& contact);
    // "tap-counts changes N bytes B mouse X Y moves M clipboards C acks A pictures P".
    void PrintCounts();
    // Waits up to `seconds` until the tap's rebuilt screen (or, with `picture`, the picture
    // bob's session drew) has the checksum `sum`: "tap-screen SUM" ("view-sum SUM"), then
    // "tap-screen-at MS" ("view-sum-at MS") with the wall-clock milliseconds when it was seen.
    void WaitScreen(std::string const& sum, unsigned seconds, bool picture = false);
    // Saves this machine's screen as PNG.
    void SaveScreen(std::wstring const& path);
    // "screen-sum WxH SUM" of this machine's screen, packed blue-green-red rows.
    void PrintScreenSum();
    // Sends a mouse move to the contact as the viewer's input.
    void SendMouse(std::string const& contact, int x, int y);
    // Waits up to `seconds` until the cursor is at (x, y): "cursor X Y" where it is.
    void WaitCursor(int x, int y, unsigned seconds);
    // Sends this clipboard to the contact and waits for the acknowledgement.
    void PushClipboard(std::string const& contact);
    // Asks the contact for theirs, waits, and sets it here.
    void PullClipboard(std::string const& contact);

    // What Animate paints: a 640x480 area at the screen's corner about every 10 ms (moving
    // stripes and text), the whole screen scrolling up 8 rows every 30 ms, or a 512x48 window
    // typed into ten characters a second. Each paint puts strips of 32 blocks holding its
    // wall-clock time at the top and the bottom of what it paints. Before Animate(true).
    enum class Workload { Area, Scroll, Typing };
    void SetWorkload(Workload workload) { mWorkload = workload; }
    // Starts (or resumes after HoldStill: "animating") or stops painting the workload, whose
    // window closes.
    void Animate(bool on);
    // Stops painting and keeps the window: "still at MS", the wall-clock milliseconds after the
    // last paint's end.
    void HoldStill();
    // The row of the second time strip the tap reads (0: only the top one), as the sharer's
    // workload puts it.
    void SetStampRow(int row) { mStampRow = row; }
    // This process's processor time over the next `seconds`: "cpu percent P" of one core.
    void PrintCpu(unsigned seconds);
    // For `seconds`, without a tracker: grabs the animated area, builds its change message
    // (raw, or JPEG at the automatic quality) and sends it to the contact, waiting for the
    // screen channel to finish each. "baseline sent N".
    void Baseline(std::string const& contact, unsigned seconds, bool jpeg);
    // What the tap received in the next `seconds`: "measure LABEL changes N seconds S bytes B
    // delay-ms D pixels A delay95-ms E": changes and bytes as the tap counted them, the pixels
    // bob's picture changed by, and the median and 95th-percentile delay from a paint to bob's
    // picture (-1 when none was read), taken from the older of the two time strips. With
    // `fromTap` the pixels and the delays are the tap's own, for changes no session draws.
    void Measure(std::string const& label, unsigned seconds, bool fromTap);

    static std::vector<unsigned char> GrabScreen(SIZE& size);

private:
    SharingTap& NeedTap();
    // Whether the pixel at (x, y) of a picture is bright.
    using Bright = std::function<bool(int x, int y)>;
    void OnDrawn(HDC dc, SIZE size, long long changed);
    void OnTapChange(std::vector<unsigned char> const& screen, SIZE size);
    void RecordDelay(SIZE size, Bright const& bright);
    void AnimateLoop();
    void Paint(HWND window, unsigned frame);
    static DWORD ReadStamp(Bright const& bright, int row);
    // "SkypeEvent": the screen channel has sent everything.
    void OnScreenSent(std::string const& user, ISkypeApplication* application);
    static void DrawFrame(HDC dc, unsigned frame);
    static void DrawStamps(HDC dc, int bottomRow);

    PeerSessions& mSessions;
    PeerOutput& mOutput;
    std::unique_ptr<SharingTap> mTap;
    CriticalSection mDelaysLock;
    std::vector<DWORD> mDelays;  // ms from paint to bob's picture, since the last Measure
    long long mPixels = 0;       // pixels bob's picture changed by, since the last Measure
    std::atomic<bool> mAnimating{false};
    std::atomic<bool> mFromTap{false};  // the measure under way reads the tap
    std::atomic<bool> mHolding{false};  // the window stays, unpainted
    std::atomic<unsigned> mPasses{0};   // of the animator's loop
    std::atomic<Workload> mWorkload{Workload::Area};
    std::atomic<int> mStampRow{0};
    WorkerThread mAnimator;
    SyncEvent mScreenSent;
};
