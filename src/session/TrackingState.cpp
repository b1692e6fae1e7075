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

}  // namespace

// The packet outlives the raise; the payloads made of it are kept by quality and zlib level. A
// viewer on a slower link takes what a faster one compressed at a lower level (any level
// inflates), but a viewer on a faster link never waits for a slower level: it makes its own.
struct TrackingState::HeldChange : IScreenChange {
    struct Encoding {
        unsigned char colorDepth;
        bool useJpeg;
        int jpegQuality;
        int zlibLevel;
        CriticalSection lock;  // held while the first sender makes it
        bool made = false;
        ScreenEncoder::Payload payload;
    };

    explicit HeldChange(IScreenChange const& raised)
        : bytes(static_cast<unsigned char const*>(raised.GetData()),
                static_cast<unsigned char const*>(raised.GetData()) + raised.GetDataSize()) {
        width = raised.width;
        height = raised.height;
        bytesPerPixel = raised.bytesPerPixel;
        exact = raised.exact;
    }
    void const* GetData() const override { return bytes.data(); }
    unsigned long GetDataSize() const override { return static_cast<unsigned long>(bytes.size()); }

    // The one copy for every subscriber of the raised change, left on its memo. "DesktopTracker".
    static std::shared_ptr<HeldChange> Of(IScreenChange& raised) {
        if (!raised.memo) {
            raised.memo = std::make_shared<HeldChange>(raised);
        }
        return std::static_pointer_cast<HeldChange>(raised.memo);
    }

    // The encoding at these settings, new and not made when none is. Any sender.
    std::shared_ptr<Encoding> Find(ScreenEncoder::Settings const& settings) {
        CriticalSectionLock hold(lock);
        for (auto const& encoding : encodings) {
            if (encoding->colorDepth == settings.colorDepth && encoding->useJpeg == settings.useJpeg &&
                (!settings.useJpeg || encoding->jpegQuality == settings.jpegQuality) &&
                encoding->zlibLevel <= settings.zlibLevel) {
                return encoding;
            }
        }
        encodings.push_back(std::make_shared<Encoding>());
        Encoding& added = *encodings.back();
        added.colorDepth = settings.colorDepth;
        added.useJpeg = settings.useJpeg;
        added.jpegQuality = settings.jpegQuality;
        added.zlibLevel = settings.zlibLevel;
        return encodings.back();
    }

    std::vector<unsigned char> const bytes;
    CriticalSection lock;  // the list only
    std::vector<std::shared_ptr<Encoding>> encodings;
};

TrackingState::TrackingState(SessionQualityConfiguration const& quality)
    : mTracker(DesktopTracker::Share()), mQuality(quality), mSender("ChangeSender") {
    mSender.Bind(Delegate0::Bind<&TrackingState::SendLoop>(this));
}

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
    mSender.Start();
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
    {
        CriticalSectionLock lock(mHandOverLock);
        mHandOvers.clear();
    }
    {
        // The sender takes each hand-over under this lock: after it, none refers to the mode.
        CriticalSectionLock sending(mSendLock);
    }
    mTracker->ReleaseTrackingMode(mMode);
    mMode.reset();
}

void TrackingState::StopSharing() {
    StopTracking();
    // Nothing is handed over any more, and a running send has ended.
    mSender.Join(INFINITE, false);
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
    std::shared_ptr<HeldChange> held;
    try {
        held = HeldChange::Of(change);
    } catch (std::exception const& error) {
        CORVANE_LOG("Screen change not sent: " << error.what());
        mMode->NoteLacking(self, change);
        return;
    }
    mMode->SetEnabled(self, false);
    {
        CriticalSectionLock lock(mHandOverLock);
        mHandOvers.push_back({held, change.timing});
    }
    mHandedOver.Set();
}

void TrackingState::SendLoop() {
    while (SyncEvent::Wait(mSender.GetStopEvent(), mHandedOver, INFINITE) == 1) {
        CriticalSectionLock sending(mSendLock);
        for (HandOver handOver; TakeHandOver(handOver);) {
            SendHandOver(handOver);
        }
    }
}

bool TrackingState::TakeHandOver(HandOver& handOver) {
    CriticalSectionLock lock(mHandOverLock);
    if (mHandOvers.empty()) {
        return false;
    }
    handOver = std::move(mHandOvers.front());
    mHandOvers.pop_front();
    return true;
}

void TrackingState::SendHandOver(HandOver const& handOver) {
    auto const self = MakeDelegate<&TrackingState::HandleScreenChanged>(this);
    bool lossy = false;
    bool const sent = SendChange(*handOver.change, handOver.timing, lossy);
    if (!sent || lossy) {
        mMode->NoteLacking(self, *handOver.change);  // it goes again, exact, once still
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

bool TrackingState::SendChange(HeldChange& change, int timing, bool& lossy) {
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
        ScreenChangeNetMsg const message = EncodeShared(change, timing, settings);
        // Pictures below 8 bits are what the depth shows; JPEG loses more.
        lossy = message.IsJpeg() && quality.ColorDepth.Get() > 4;
        if (Send(message)) {
            return true;
        }
        CORVANE_LOG("Screen change not sent: the screen channel is down");
    } catch (std::exception const& error) {
        // The message could not be built, or the messenger refused the write.
        CORVANE_LOG("Screen change not sent: " << error.what());
    } catch (...) {
        // Whatever it was, this viewer's sender must live on, or its picture would stall.
        CORVANE_LOG("Screen change not sent: an unknown error");
    }
    return false;
}

ScreenChangeNetMsg TrackingState::EncodeShared(HeldChange& change, int timing,
                                               ScreenEncoder::Settings const& settings) {
    tagSIZE const origin = {change.width, change.height};
    std::shared_ptr<HeldChange::Encoding> const encoding = change.Find(settings);
    CriticalSectionLock making(encoding->lock);
    if (encoding->made) {
        CORVANE_LOG("Screen change encoding reused");
    } else {
        encoding->payload =
            ScreenEncoder::EncodePayload(change.GetData(), change.GetDataSize(), origin, settings);
        encoding->made = true;
    }
    return ScreenEncoder::ToMessage(encoding->payload, origin, settings.colorDepth, timing);
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
