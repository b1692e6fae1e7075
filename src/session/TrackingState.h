#pragma once

#include <windows.h>

#include <atomic>

#include <boost/shared_ptr.hpp>

#include "capture/DesktopTracker.h"
#include "capture/MouseHandler.h"
#include "codec/ScreenEncoder.h"
#include "config/ConfigGroups.h"
#include "foundation/CriticalSection.h"
#include "session/SessionState.h"

class IScreenChange;
class TrackingMode;

// Showing the local desktop to the peer at the viewer's quality: screen changes go out one at
// a time on the screen channel, the cursor follows, the viewer's input is replayed and the
// clipboard is served. Input and clipboard writes count only while the viewer has control
// (ISession::HasViewerControl); without it they are dropped, and our user hears of the first.
// Ends on the local user's stop, any request-kind message from the peer or a lost connection.
//
// Threads: screen changes arrive on "DesktopTracker", cursor moves on "MouseHandler", the
// rest on "SkypeEvent" (or the thread that runs an operation). Leaving the state removes the
// two handlers first; each removal waits for a running call, so none outlives the state.
// Every sharing state of the process holds the one tracker and, at the same depth, the same
// mode: the screen is grabbed and compared once for all viewers, each viewer keeps its own
// pace, and viewers of one change at the same quality share its encoding.
class TrackingState : public SessionState {
public:
    explicit TrackingState(SessionQualityConfiguration const& quality);
    // Stops sharing if that has not happened yet. The thread that changed the state.
    ~TrackingState() override;

    void GetAvailableOperations(std::vector<AvailableOperation>& operations) override;
    std::string GetDescription(bool longForm) override;
    SessionTable::State TableState() const override { return SessionTable::State::Tracking; }
    std::string GetResourceId() override { return "sharing"; }
    // Any thread: "FPS" (0 before the first frame), "Total frames sent", the quality lines,
    // "Viewer has control".
    void GetStatusProperties(std::vector<SessionProperty>& properties) override;
    // "SkypeEvent": starts the tracker and the mouse handler; warns without the mirror driver.
    void OnStarted() override;
    // "SkypeEvent": "Remote user disconnected", InitialState.
    void OnConnectFailure() override;
    // "SkypeEvent": the screen channel is empty again, so the next change may be taken.
    void OnSendingFinished() override;
    // "SkypeEvent": both channels (again) up; a new screen channel owes no sending-finished.
    void OnConnectSuccess() override;

    // "SkypeEvent": an abort is noted and stops sharing; every payload ends sharing.
    void Handle(RequestRemoteDesktopNetMsg const& message) override;
    // "SkypeEvent": the viewer changed the quality; tracking moves to a mode that fits it.
    void Handle(ShowMyDesktopNetMsg const& message) override;
    // "SkypeEvent": the viewer's input, replayed while he has control.
    void Handle(WindowEventNetMsg const& message) override;
    // "SkypeEvent": the viewer's clipboard is set here and acknowledged while he has control.
    void Handle(ClipboardNetMsg const& message) override;
    // "SkypeEvent": the viewer asks for this clipboard; sent when Sharing/ServeClipboard is on,
    // control or not, and not when it is empty.
    void Handle(ClipboardRequestNetMsg const& message) override;

    // Operation "Stop sharing desktop": the thread that invokes it.
    void HandleStopSharing();
    // Operations "Give control" and "Take back control": the thread that invokes them. They
    // only set the session's choice, which each later message of the viewer reads.
    void HandleGiveControl();
    void HandleTakeBackControl();

    // The JPEG quality of the `changeCount`th change: the configured one for the first two, or
    // when automatic quality or JPEG is off; else the rate table for `sendCps` bytes a second,
    // never above the configured quality.
    static int ChooseJpegQuality(SessionQualityConfiguration const& quality, int changeCount, int sendCps);
    // 3 for colour depths of 4 and below, else depth / 8.
    static int BytesPerPixel(int colorDepth);

private:
    // Asks the tracker for the mode of the current quality and subscribes to it.
    void StartTracking();
    // Unsubscribes from the mode (waiting for a running change) and gives it back.
    void StopTracking();
    // Stops tracking and the mouse handler; nothing the second time.
    void StopSharing();

    // "DesktopTracker": sends one change and keeps the mode off until it has gone. What went
    // lossy or not at all is noted with the mode, which sends it again exactly once still.
    void HandleScreenChanged(IScreenChange& change);
    // False when nothing went out: the message failed, the channel is down or the messenger
    // refused the write. `lossy` tells whether the message carries JPEG pictures. An exact
    // change goes without JPEG.
    bool SendChange(IScreenChange& change, bool& lossy);
    // The message of `change` at these settings; the payload is reused from (or left on) the
    // change for other viewers at the same quality. "DesktopTracker".
    static ScreenChangeNetMsg EncodeShared(IScreenChange& change, ScreenEncoder::Settings const& settings);
    void HandleMouseMove(tagPOINT const& point);
    SessionQualityConfiguration CopyQuality() const;
    // "SkypeEvent": true when the viewer has control; otherwise the first refusal of the
    // sharing is logged and told to our user, the later ones pass in silence.
    bool ViewerControls(char const* what);
    std::string FramesPerSecond() const;

    boost::shared_ptr<DesktopTracker> mTracker;  // the process's, held while the state lives
    std::atomic<int> mChangeCount{0};
    SessionQualityConfiguration mQuality;
    mutable CriticalSection mQualityLock;   // the quality: replaced on "SkypeEvent", read anywhere
    boost::shared_ptr<TrackingMode> mMode;  // "SkypeEvent" changes it only while unsubscribed
    std::atomic<unsigned long long> mFramesSent{0};
    std::atomic<long long> mRateStart{0};  // the counter at the first frame, set before the count
    MouseHandler mMouseHandler;
    bool mMouseSubscribed = false;
    bool mRefusalNoted = false;      // "SkypeEvent"
    bool mClipboardRefused = false;  // "SkypeEvent"
};
