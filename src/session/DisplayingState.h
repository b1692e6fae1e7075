#pragma once

#include <windows.h>

#include <atomic>
#include <memory>

#include "codec/ScreenDecoder.h"
#include "config/ConfigGroups.h"
#include "session/SessionState.h"

class RemoteScreenSurface;

// Viewing the peer's desktop at the agreed quality: every received frame is drawn into the
// state's RemoteScreenSurface, which follows the sharer's frame size, and announced through
// the session's RemoteScreenChanged. Ends on the local user's stop (carried out by the
// session on "SkypeEvent"), the peer's abort or a lost connection.
//
// Reading the picture: RemoteScreenChanged runs on "SkypeEvent" between two frames, so its
// handler may copy from the event's dc directly. A user interface that reads later from its
// own thread keeps the event's surface (shared, it outlives the state) and reads through it:
// Snapshot, CopyTo, or a RemoteScreenSurface::Reader around its own use of the context. Each
// holds the surface's lock, which the state holds for the whole drawing of a frame, so the
// reader never sees half a frame.
class DisplayingState : public SessionState {
public:
    explicit DisplayingState(SessionQualityConfiguration const& quality);
    // The view goes away with the state; the surface lives on while a reader keeps it.
    ~DisplayingState() override;

    void GetAvailableOperations(std::vector<AvailableOperation>& operations) override;
    std::string GetDescription(bool longForm) override;
    SessionTable::State TableState() const override { return SessionTable::State::Displaying; }
    std::string GetResourceId() override { return "displaying"; }
    void GetStatusProperties(std::vector<SessionProperty>& properties) override;
    // Opens the view at the agreed quality.
    void OnStarted() override;
    // "SkypeEvent": closes the view, "Remote user disconnected", InitialState.
    void OnConnectFailure() override;

    // "SkypeEvent": draws the frame and raises RemoteScreenChanged.
    void Handle(ScreenChangeNetMsg const& message) override;
    // "SkypeEvent": remembers the peer's cursor.
    void Handle(MouseMoveNetMsg const& message) override;
    // "SkypeEvent": only the peer's abort ends viewing.
    void Handle(RequestRemoteDesktopNetMsg const& message) override;
    // "SkypeEvent": applies the peer's clipboard here and tells the user interface.
    void Handle(ClipboardNetMsg const& message) override;
    // "SkypeEvent": the peer applied ours.
    void Handle(ClipboardAcknowledgeNetMsg const& message) override;

    // Operation "Stop displaying", user interface's thread: hides the view at once and leaves
    // the rest to the session's next idle tick.
    void HandleCancel();

    // The peer's last cursor position (0, 0 before the first). Any thread.
    POINT GetRemoteCursor() const;
    // The picture; it never goes null. Any thread (read it as the class comment says).
    std::shared_ptr<RemoteScreenSurface const> GetSurface() const { return mSurface; }

private:
    // Waits up to 100 ms for the user interface's view; true when it is there.
    bool WaitForRemoteDesktopWindowCreated();
    // Gives the surface the frame's size; false (logged) when the frame cannot be drawn.
    bool FitSurface(tagSIZE origin);
    // Draws the frame's pictures or packet; the changed region, owned by the caller.
    HRGN Draw(ScreenDecoder::Change const& change, int bytesPerPixel);

    SessionQualityConfiguration mQuality;
    std::shared_ptr<RemoteScreenSurface> mSurface;
    std::atomic<long> mCursorX{0};
    std::atomic<long> mCursorY{0};
};
