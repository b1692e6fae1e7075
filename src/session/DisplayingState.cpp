#include "session/DisplayingState.h"

#include <sstream>

#include "codec/ScreenDecoder.h"
#include "foundation/CorvaneLogging.h"
#include "foundation/Errors.h"
#include "imaging/Picture.h"
#include "input/ClipboardHelper.h"
#include "network/ScreenChangeNetMsg.h"
#include "session/ISessionGui.h"
#include "viewer/DrawingHelper.h"
#include "viewer/RemoteScreenSurface.h"

namespace {
constexpr DWORD kViewWaitMs = 100;
}

DisplayingState::DisplayingState(SessionQualityConfiguration const& quality)
    : mQuality(quality), mSurface(std::make_shared<RemoteScreenSurface>()) {}

DisplayingState::~DisplayingState() {
    if (mGui) {
        mGui->HideRemoteDesktop();
    }
}

void DisplayingState::GetAvailableOperations(std::vector<AvailableOperation>& operations) {
    SessionState::GetAvailableOperations(operations);
    operations.push_back(
        Operation("Stop displaying", 9, 0, Delegate0::Bind<&DisplayingState::HandleCancel>(this)));
}

std::string DisplayingState::GetDescription(bool longForm) {
    return longForm ? "Displaying the remote desktop" : "Displaying";
}

void DisplayingState::GetStatusProperties(std::vector<SessionProperty>& properties) {
    AppendQualityLines(mQuality, properties);
}

void DisplayingState::OnStarted() {
    mGui->ShowRemoteDesktop(mQuality);
}

void DisplayingState::OnConnectFailure() {
    mGui->HideRemoteDesktop();
    ShowRawNotification("Remote user disconnected", L"red");
    Move(SessionTable::Local::ConnectFailure);
}

// A frame is drawn whether or not the view came: the picture must be complete when it does.
bool DisplayingState::WaitForRemoteDesktopWindowCreated() {
    DWORD const start = GetTickCount();
    bool ready = mGui->IsRemoteDesktopReady();
    while (!ready && GetTickCount() - start < kViewWaitMs) {
        Sleep(0);
        ready = mGui->IsRemoteDesktopReady();
    }
    return ready;
}

// The surface follows the sharer's frame size, so a sharer whose screen changed size is drawn
// whole into a surface of the new size rather than cut into the old one.
bool DisplayingState::FitSurface(tagSIZE origin) {
    SIZE const size = mSurface->GetSize();
    if (size.cx == origin.cx && size.cy == origin.cy) {
        return true;
    }
    if (mSurface->Resize(SIZE{origin.cx, origin.cy})) {
        return true;
    }
    CORVANE_LOG("Remote frame of " << origin.cx << "x" << origin.cy << " not drawn");
    return false;
}

HRGN DisplayingState::Draw(ScreenDecoder::Change const& change, int bytesPerPixel) {
    if (change.pictures.empty()) {
        return mSurface->DrawPacket(change.packet.data(), static_cast<unsigned long>(change.packet.size()),
                                    bytesPerPixel);
    }
    ChangedRegion changed;
    try {
        for (ScreenDecoder::JpegImageInfo const& info : change.pictures) {
            mSurface->DrawPicture(*info.image, info.rect, changed);
        }
    } catch (BaseError const& error) {
        CORVANE_LOG("Remote picture not drawn: " << error.what());
    }
    return changed.Make();
}

void DisplayingState::Handle(ScreenChangeNetMsg const& message) {
    // Decoded only here: a bad message raises, and the endpoint drops it.
    ScreenDecoder::Change const change = ScreenDecoder::Decode(message);
    WaitForRemoteDesktopWindowCreated();
    tagSIZE const origin = message.GetOriginResolution();
    if ((change.packet.empty() && change.pictures.empty()) || !FitSurface(origin)) {
        return;
    }
    CORVANE_LOG("DC Resolution:" << origin.cx << "x" << origin.cy);
    CORVANE_LOG("REMOTE SCREEN: ptr \\x" << std::hex << static_cast<void const*>(change.packet.data())
                                         << " size " << message.GetUncompressedSize());
    HRGN changed = nullptr;
    {
        // Readers see the frame whole: every tile or none.
        RemoteScreenSurface::Reader whole(*mSurface);
        changed = Draw(change, message.GetColorDepth());
    }
    // The handler may end the state (and this object): nothing of it is used afterwards.
    std::shared_ptr<RemoteScreenSurface> surface = mSurface;
    ISession* session = mSession;
    ISession::RemoteScreenChangeArgs args{
        surface->GetDC(), static_cast<int>(origin.cx), static_cast<int>(origin.cy),
        changed,          message.GetTiming(),         surface};
    session->RemoteScreenChanged(args);
    if (changed) {
        DeleteObject(changed);
    }
}

void DisplayingState::Handle(MouseMoveNetMsg const& message) {
    POINT const position = message.GetMousePos();
    mCursorX = position.x;
    mCursorY = position.y;
    CORVANE_LOG("REMOTE CURSOR POS: " << position.x << "x" << position.y);
}

POINT DisplayingState::GetRemoteCursor() const {
    return POINT{mCursorX.load(), mCursorY.load()};
}

void DisplayingState::Handle(RequestRemoteDesktopNetMsg const& message) {
    if (!message.IsAborted()) {
        return;
    }
    ShowRawNotification("Remote user aborted session.", L"red");
    mGui->HideRemoteDesktop();
    Move(SessionTable::Peer::Abort);
}

void DisplayingState::Handle(ClipboardNetMsg const& message) {
    ClipboardHelper::ProcessClipboardMessage(message);
    mGui->OnClipboardReceived();
}

void DisplayingState::Handle(ClipboardAcknowledgeNetMsg const& message) {
    mGui->OnClipboardDelivered();
}

void DisplayingState::HandleCancel() {
    mGui->HideRemoteDesktop();
    mSession->StopDisplaying(true);
}
