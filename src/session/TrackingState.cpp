#include "session/TrackingState.h"

#include <algorithm>
#include <sstream>

#include "capture/FrameBufferOut.h"
#include "capture/TrackingMode.h"
#include "codec/ScreenEncoder.h"
#include "config/Configuration.h"
#include "foundation/CorvaneLogging.h"
#include "foundation/Errors.h"
#include "foundation/PerformanceCounter.h"
#include "input/ClipboardHelper.h"
#include "input/InputReplay.h"

namespace {

// Below each rate (bytes a second) the automatic JPEG quality.
struct RateStep {
    int belowCps;
    int quality;
};
RateStep const kRateSteps[] = {{5000, 20}, {10000, 30}, {40000, 40}, {70000, 50}};

// The payloads made of one change, by quality. The zlib level is not part of it: a viewer on a
// slower link takes what a faster one had compressed, which any level inflates.
struct SharedPayloads {
    struct Entry {
        unsigned char colorDepth;
        bool useJpeg;
        int jpegQuality;
        ScreenEncoder::Payload payload;
    };
    std::vector<Entry> entries;
};

}  // namespace

TrackingState::TrackingState(SessionQualityConfiguration const& quality)
    : mTracker(DesktopTracker::Share()), mQuality(quality) {}

TrackingState::~TrackingState() {
    StopSharing();
}

int TrackingState::BytesPerPixel(int colorDepth) {
    return colorDepth <= 4 ? 3 : colorDepth / 8;
}

int TrackingState::ChooseJpegQuality(SessionQualityConfiguration const& quality, int changeCount,
                                     int sendCps) {
    int const configured = quality.JpegQuality.Get();
    if (changeCount <= 2 || quality.AutoJpegQuality.Get() == 0 || !quality.UseJpeg.Get()) {
        return configured;
    }
    int chosen = configured;
    for (RateStep const& step : kRateSteps) {
        if (sendCps < step.belowCps) {
            chosen = step.quality;
            break;
        }
    }
    CORVANE_LOG("CPS: " << sendCps << ", jpeg quality: " << chosen);
    return std::min(chosen, configured);
}

void TrackingState::GetAvailableOperations(std::vector<AvailableOperation>& operations) {
    SessionState::GetAvailableOperations(operations);
    operations.push_back(
        Operation("Stop sharing desktop", 9, 0, Delegate0::Bind<&TrackingState::HandleStopSharing>(this)));
    operations.push_back(
        mSession->HasViewerControl()
            ? Operation("Take back control", -1, 0,
                        Delegate0::Bind<&TrackingState::HandleTakeBackControl>(this))
            : Operation("Give control", -1, 0, Delegate0::Bind<&TrackingState::HandleGiveControl>(this)));
}

std::string TrackingState::GetDescription(bool longForm) {
    return longForm ? "Tracking desktop changes and sending them to remote computer" : "Sharing";
}

std::string TrackingState::FramesPerSecond() const {
    unsigned long long const frames = mFramesSent.load();
    double const seconds = frames > 0 ? static_cast<double>(PerformanceCounter::Now() - mRateStart.load()) /
                                            static_cast<double>(PerformanceCounter::Frequency())
                                      : 0.0;
    std::ostringstream text;
    // Nothing sent yet, or no time passed since the first frame: no rate to show.
    text << (seconds > 0.0 ? static_cast<double>(frames) / seconds : 0.0);
    return text.str();
}

void TrackingState::GetStatusProperties(std::vector<SessionProperty>& properties) {
    properties.push_back({"Bandwidth", "FPS", FramesPerSecond()});
    properties.push_back({"Bandwidth", "Total frames sent", std::to_string(mFramesSent.load())});
    AppendQualityLines(CopyQuality(), properties);
    properties.push_back({"Sharing", "Viewer has control", mSession->HasViewerControl() ? "Yes" : "No"});
}

SessionQualityConfiguration TrackingState::CopyQuality() const {
    CriticalSectionLock lock(mQualityLock);
    return mQuality;
}

void TrackingState::OnStarted() {
    StartTracking();
    mMouseHandler.Add(MakeDelegate<&TrackingState::HandleMouseMove>(this));
    mMouseSubscribed = true;
    mMouseHandler.SetHook();
    if (!CFrameBufferOut::DriverCanBeUsed()) {
        ShowRawNotification("Warning: driver not installed. Please install driver to improve performance.",
                            L"red");
    }
}

void TrackingState::StartTracking() {
    SessionQualityConfiguration const quality = CopyQuality();
    tagSIZE const size = quality.Resolution.Get();
    mMode = mTracker->GetTrackingMode(BytesPerPixel(static_cast<int>(quality.ColorDepth.Get())), size.cx,
                                      size.cy);
    mMode->Add(MakeDelegate<&TrackingState::HandleScreenChanged>(this));
}

void TrackingState::StopTracking() {
    if (!mMode) {
        return;
    }
    mMode->Remove(MakeDelegate<&TrackingState::HandleScreenChanged>(this));
    mTracker->ReleaseTrackingMode(mMode);
    mMode.reset();
}

void TrackingState::StopSharing() {
    StopTracking();
    if (mMouseSubscribed) {
        mMouseHandler.Remove(MakeDelegate<&TrackingState::HandleMouseMove>(this));
        mMouseSubscribed = false;
    }
    mMouseHandler.ClearHook();
}

void TrackingState::OnConnectFailure() {
    ShowRawNotification("Remote user disconnected", L"red");
    Move(SessionTable::Local::ConnectFailure);
}

void TrackingState::OnConnectSuccess() {
    // A new screen channel carries nothing of the old one: no sending-finished is owed.
    OnSendingFinished();
}

void TrackingState::OnSendingFinished() {
    if (mMode) {
        mMode->SetEnabled(MakeDelegate<&TrackingState::HandleScreenChanged>(this), true);
    }
}

void TrackingState::HandleScreenChanged(IScreenChange& change) {
    // The mode raising this is mMode: "SkypeEvent" replaces it only after unsubscribing,
    // which waits for this call. It stays off while the change is in flight; whatever keeps
    // the change from going turns it on again, or no sending-finished would ever come.
    auto const self = MakeDelegate<&TrackingState::HandleScreenChanged>(this);
    mMode->SetEnabled(self, false);
    bool lossy = false;
    bool const sent = SendChange(change, lossy);
    if (!sent || lossy) {
        mMode->NoteLacking(self, change);  // it goes again, exact, once still
    }
    if (!sent) {
        mMode->SetEnabled(self, true);
        return;
    }
    if (mFramesSent.load() == 0) {
        mRateStart = PerformanceCounter::Now();
    }
    ++mFramesSent;
}

bool TrackingState::SendChange(IScreenChange& change, bool& lossy) {
    int const count = ++mChangeCount;
    SessionQualityConfiguration const quality = CopyQuality();
    bool const jpeg = quality.UseJpeg.Get() && !change.exact;
    int const jpegQuality = ChooseJpegQuality(quality, count, jpeg && count > 2 ? mSession->GetSendCps() : 0);
    try {
        ScreenEncoder::Settings settings;
        settings.colorDepth = static_cast<unsigned char>(quality.ColorDepth.Get());
        settings.useJpeg = jpeg;
        settings.jpegQuality = jpegQuality;
        settings.zlibLevel = ScreenEncoder::ChooseZlibLevel(mSession->GetSendCps());
        ScreenChangeNetMsg const message = EncodeShared(change, settings);
        // Pictures below 8 bits are what the depth shows; JPEG loses more.
        lossy = message.IsJpeg() && quality.ColorDepth.Get() > 4;
        if (Send(message)) {
            return true;
        }
        CORVANE_LOG("Screen change not sent: the screen channel is down");
    } catch (std::exception const& error) {
        // The message could not be built, or the messenger refused the write.
        CORVANE_LOG("Screen change not sent: " << error.what());
    }
    return false;
}

ScreenChangeNetMsg TrackingState::EncodeShared(IScreenChange& change,
                                               ScreenEncoder::Settings const& settings) {
    tagSIZE const origin = {change.width, change.height};
    if (!change.memo) {
        change.memo = std::make_shared<SharedPayloads>();
    }
    auto& entries = static_cast<SharedPayloads*>(change.memo.get())->entries;
    for (SharedPayloads::Entry const& entry : entries) {
        if (entry.colorDepth == settings.colorDepth && entry.useJpeg == settings.useJpeg &&
            (!settings.useJpeg || entry.jpegQuality == settings.jpegQuality)) {
            CORVANE_LOG("Screen change encoding reused");
            return ScreenEncoder::ToMessage(entry.payload, origin, settings.colorDepth, change.timing);
        }
    }
    entries.push_back(
        {settings.colorDepth, settings.useJpeg, settings.jpegQuality,
         ScreenEncoder::EncodePayload(change.GetData(), change.GetDataSize(), origin, settings)});
    return ScreenEncoder::ToMessage(entries.back().payload, origin, settings.colorDepth, change.timing);
}

void TrackingState::HandleMouseMove(tagPOINT const& point) {
    Send(MouseMoveNetMsg(point));
}

void TrackingState::Handle(RequestRemoteDesktopNetMsg const& message) {
    if (message.IsAborted()) {
        ShowRawNotification("Remote user aborted session.", L"red");
        StopSharing();
    }
    Move(SessionTable::KindOf(message));
}

void TrackingState::Handle(ShowMyDesktopNetMsg const& message) {
    StopTracking();
    {
        CriticalSectionLock lock(mQualityLock);
        mQuality = SessionQualityConfiguration(message.GetSize(), static_cast<int>(message.GetColorDepth()),
                                               message.IsUseJpeg(), message.GetJpegQuality());
    }
    StartTracking();
}

bool TrackingState::ViewerControls(char const* what) {
    if (mSession->HasViewerControl()) {
        return true;
    }
    if (!mRefusalNoted) {
        mRefusalNoted = true;
        CORVANE_LOG("Dropped " << what << " from " << mSession->GetUserNameW()
                               << ": the viewer has no control; later ones go unlogged");
        ShowRawNotification("Remote user tried to control your desktop, which is shared for viewing only.",
                            L"red");
    }
    return false;
}

void TrackingState::Handle(WindowEventNetMsg const& message) {
    if (mMode && ViewerControls("input")) {
        InputReplay::Replay(message);
    }
}

void TrackingState::Handle(ClipboardNetMsg const& message) {
    // Not acknowledged: the viewer's clipboard did not arrive.
    if (!ViewerControls("a clipboard")) {
        return;
    }
    ClipboardHelper::ProcessClipboardMessage(message);
    Send(ClipboardAcknowledgeNetMsg());
}

void TrackingState::Handle(ClipboardRequestNetMsg const&) {
    if (!mConfig->Sharing.ServeClipboard.Get()) {
        if (!mClipboardRefused) {
            mClipboardRefused = true;
            CORVANE_LOG("Clipboard not served to " << mSession->GetUserNameW()
                                                   << ": Sharing/ServeClipboard is off");
        }
        return;
    }
    boost::shared_ptr<ClipboardNetMsg> message = ClipboardHelper::CreateClipboardMessage();
    // An empty clipboard cannot travel: the peer's reader refuses a count of 0.
    if (message->GetClipboardDataSize() > 0) {
        Send(*message);
    }
}

void TrackingState::HandleGiveControl() {
    mSession->SetViewerControl(true);
}

void TrackingState::HandleTakeBackControl() {
    mSession->SetViewerControl(false);
}

void TrackingState::HandleStopSharing() {
    SendAbort();
    StopSharing();
    Move(SessionTable::Local::Stop);
}
