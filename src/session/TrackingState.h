#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <memory>

#include <boost/shared_ptr.hpp>

#include "capture/DesktopTracker.h"
#include "capture/MouseHandler.h"
#include "codec/ScreenEncoder.h"
#include "config/ConfigGroups.h"
#include "foundation/CriticalSection.h"
#include "foundation/SyncEvent.h"
#include "foundation/Thread.h"
#include "session/SessionState.h"

class IScreenChange;
class TrackingMode;

// Showing the local desktop to the peer at the viewer's quality: screen changes go out one at
// a time on the screen channel, the cursor follows, the viewer's input is replayed and the
// clipboard is served. Input and clipboard writes count only while the viewer has control
// (ISession::HasViewerControl); without it they are dropped, and our user hears of the first.
// Ends on the local user's stop, any request-kind message from the peer or a lost connection.
//
// Threads: screen changes arrive on "DesktopTracker", which only hands them to this state's
// "ChangeSender": that one encodes and writes them, so a slow viewer's work and writes hold
// back neither the tracker nor the other viewers. Cursor moves arrive on "MouseHandler", the
// rest on "SkypeEvent" (or the thread that runs an operation). Leaving the state removes the
// two handlers first; each removal waits for a running call, then the sender is stopped after
// its running send, so none outlives the state. Every sharing state of the process holds the
// one tracker and, at the same depth, the same mode: the screen is grabbed and compared once
// for all viewers, each viewer keeps its own pace, and viewers of one change at the same
// quality share its encoding.
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
    // Unsubscribes from the mode, drops the changes the sender has not taken and waits for
    // its running send, then gives the mode back.
    void StopTracking();
    // Stops tracking, the sender and the mouse handler; nothing the second time.
    void StopSharing();

    // A copy of one change's packet, shared by its viewers and their senders (defined with
    // the state), and one viewer's hand-over of it.
    struct HeldChange;
    struct HandOver {
        std::shared_ptr<HeldChange> change;
        int timing;
    };

    // "DesktopTracker": keeps the mode off and hands the change to the sender, at once.
    void HandleScreenChanged(IScreenChange& change);
    // "ChangeSender": sends what is handed over until the thread is told to stop.
    void SendLoop();
    // "ChangeSender": the next hand-over in order; false when none waits.
    bool TakeHandOver(HandOver& handOver);
    // "ChangeSender": sends one change; the mode stays off until it has gone. What went lossy
    // or not at all is noted with the mode, which sends it again exactly once still.
    void SendHandOver(HandOver const& handOver);
    // False when nothing went out: the message failed, the channel is down or the messenger
    // refused the write. `lossy` tells whether the message carries JPEG pictures. An exact
    // change goes without JPEG. "ChangeSender".
    bool SendChange(HeldChange& change, int timing, bool& lossy);
    // The message of `change` at these settings; the payload is made once for all viewers at
    // the same quality, whichever sender comes first. Any sender.
    static ScreenChangeNetMsg EncodeShared(HeldChange& change, int timing,
                                           ScreenEncoder::Settings const& settings);
    void HandleMouseMove(tagPOINT const& point);
    SessionQualityConfiguration CopyQuality() const;
    // "SkypeEvent": true when the viewer has control; otherwise the first refusal of the
    // sharing is logged and told to our user, the later ones pass in silence.
    bool ViewerControls(char const* what);
    std::string FramesPerSecond() const;

    boost::shared_ptr<DesktopTracker> mTracker;  // the process's, held while the state lives
    std::atomic<int> mChangeCount{0};
    SessionQualityConfiguration mQuality;
    mutable CriticalSection mQualityLock;  // the quality: replaced on "SkypeEvent", read anywhere
    // "SkypeEvent" changes it only while unsubscribed and the sender holds nothing of it.
    boost::shared_ptr<TrackingMode> mMode;
    Thread mSender;                   // "ChangeSender"
    std::deque<HandOver> mHandOvers;  // under mHandOverLock; one change, and full frames raised meanwhile
    CriticalSection mHandOverLock;    // held briefly: the queue only
    SyncEvent mHandedOver;
    CriticalSection mSendLock;  // held by the sender while it sends
    std::atomic<unsigned long long> mFramesSent{0};
    std::atomic<long long> mRateStart{0};  // the counter at the first frame, set before the count
    MouseHandler mMouseHandler;
    bool mMouseSubscribed = false;
    bool mRefusalNoted = false;      // "SkypeEvent"
    bool mClipboardRefused = false;  // "SkypeEvent"
};
