#include "recording/AviRecorder.h"

#include <time.h>

#include <algorithm>

#include "foundation/CorvaneLogging.h"
#include "foundation/Errors.h"
#include "foundation/FileHelper.h"
#include "foundation/MessageBox.h"
#include "imaging/ComScope.h"
#include "imaging/Picture.h"
#include "recording/CBmpToAvi.h"
#include "recording/FilterPins.h"
#include "recording/RecorderSessionLink.h"
#include "recording/RecordingFileName.h"

namespace {

constexpr int kTestFrames = 10;
constexpr int kMinFps = 5;
constexpr int kMaxFps = 15;
constexpr DWORD kStopWaitMs = 1000;
constexpr DWORD kStopPollMs = 10;

// A memory context in the halftone stretch mode (colour-on-colour where refused) holding a
// bottom-up DIB section of the recording's size; null bitmap on failure.
HDC CreateFrameDc(tagBMPTOAVI_PARMS const& parms, HBITMAP& bitmap, HGDIOBJ& old) {
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) {
        return nullptr;
    }
    if (!SetStretchBltMode(dc, HALFTONE)) {
        SetStretchBltMode(dc, COLORONCOLOR);
    }
    SetBrushOrgEx(dc, 0, 0, nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = parms.width;
    info.bmiHeader.biHeight = parms.height;  // top line last
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(parms.bitsPerPixel);
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    old = bitmap ? SelectObject(dc, bitmap) : nullptr;
    return dc;
}

// Undoes CreateFrameDc; null handles are skipped.
void ReleaseFrameDc(HDC dc, HBITMAP bitmap, HGDIOBJ old) {
    if (dc && old) {
        SelectObject(dc, old);
    }
    if (bitmap) {
        DeleteObject(bitmap);
    }
    if (dc) {
        DeleteDC(dc);
    }
}

std::size_t PictureBytes(Picture const& picture) {
    return static_cast<std::size_t>(picture.GetWidth()) * picture.GetHeight() * sizeof(std::uint32_t);
}

std::string Replaced(std::string text, char from, char to) {
    std::replace(text.begin(), text.end(), from, to);
    return text;
}

// A measurement file of its own: recordings that start together measure at the same time.
std::string MeasurementFile() {
    char folder[MAX_PATH] = {};
    char file[MAX_PATH] = {};
    DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH || GetTempFileNameA(folder, "cvr", 0, file) == 0) {
        Raise(BaseError("Can't get temporary path"));
    }
    return file;
}

}  // namespace

AviRecorder::AviRecorder(ISession* session, tagBMPTOAVI_PARMS const& parms, std::string const& outputFolder)
    : mSession(session),
      mParms(parms),
      mOutputFolder(outputFolder),
      mThread("AviRecording"),
      mInterval(1000 / kMaxFps) {
    LoadCursorSprite();
    mThread.Bind(MakeDelegate<&AviRecorder::OnRecording>(this));
}

AviRecorder::~AviRecorder() {
    LeaveSession();
    mThread.Join(INFINITE, false);
    ReleaseFrameContext();
}

void AviRecorder::LoadCursorSprite() {
    mCursor = LoadCursorW(nullptr, IDC_ARROW);
    ICONINFO info{};
    if (mCursor && GetIconInfo(mCursor, &info)) {
        mHotSpotX = static_cast<int>(info.xHotspot);
        mHotSpotY = static_cast<int>(info.yHotspot);
        DeleteObject(info.hbmMask);
        DeleteObject(info.hbmColor);
    }
    mCursorWidth = GetSystemMetrics(SM_CXCURSOR);
    mCursorHeight = GetSystemMetrics(SM_CYCURSOR);
}

void AviRecorder::Init() {
    mPending = false;
    mStopping = false;
    LeaveSession();
    mLink = RecorderSessionLink::Connect(mSession, MakeDelegate<&AviRecorder::OnRemoteScreenChange>(this));
    FileHelper::CreateFullPath(mOutputFolder);
    BuildFilePath();
    CreateFrameContext();
    mThread.ResetStopEvent();
    mThread.Start();
}

// "<full name> MM-DD-YY HH.MM.SS.avi" in the output folder; empty when no such path fits.
void AviRecorder::BuildFilePath() {
    char date[16] = {};
    char time[16] = {};
    _strdate(date);
    _strtime(time);
    std::string const stamp = Replaced(date, '/', '-') + " " + Replaced(time, ':', '.') + ".avi";
    mOutputPath = RecordingFileName::Build(mOutputFolder, mSession ? mSession->GetFullName() : "", stamp);
}

void AviRecorder::CreateFrameContext() {
    ReleaseFrameContext();
    mFrameDc = CreateFrameDc(mParms, mFrameBitmap, mOldBitmap);
}

void AviRecorder::ReleaseFrameContext() {
    ReleaseFrameDc(mFrameDc, mFrameBitmap, mOldBitmap);
    mFrameDc = nullptr;
    mFrameBitmap = nullptr;
    mOldBitmap = nullptr;
}

void AviRecorder::LeaveSession() {
    if (mLink) {
        mLink->Disconnect();
    }
}

void AviRecorder::OnRemoteScreenChange(ISession::RemoteScreenChangeArgs const& args) {
    AddFrame(args.dc, SIZE{args.width, args.height});
}

void AviRecorder::AddFrame(HDC dc, ScreenSize) {
    if (mLastTiming < 0) {
        mTimer.StartTimer();
    }
    AddFrameAt(static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP)), Now());
}

void AviRecorder::AddFrameAt(HBITMAP bitmap, int timing) {
    if (mStopping) {
        return;  // a stopped or failed recording takes no more frames
    }
    boost::shared_ptr<Picture> picture;
    try {
        picture.reset(new Picture(Picture::FromBitmap(bitmap)));
    } catch (BaseError const&) {
        return;  // logged; a bitmap that cannot be read is no frame
    }
    Queue(picture, timing);
}

// Stopping is tested again under the lock: SetError empties the queue under it.
void AviRecorder::Queue(boost::shared_ptr<Picture> const& picture, int timing) {
    mLastTiming = timing;
    CORVANE_LOG("AviRecorder new frame, timing " << timing);
    auto record = boost::shared_ptr<AviFrameRecord>(new AviFrameRecord());
    record->picture = picture;
    record->timing = timing;
    record->cursorX = mCursorX;
    record->cursorY = mCursorY;
    record->cursorVisible = mCursorVisible;
    CriticalSectionLock lock(mQueueLock);
    if (mStopping) {
        return;
    }
    Enqueue(record);
    mLastPicture = picture;
    mPending = true;
}

// The first record is the writer's and stays; of those behind it the newest of an interval
// replaces the last, and so does any newest while the budget is spent (the writer is behind:
// the last picture before it is held longer instead).
void AviRecorder::Enqueue(boost::shared_ptr<AviFrameRecord> const& record) {
    if (mFirstTiming < 0) {
        mFirstTiming = record->timing;
    }
    std::size_t const bytes = PictureBytes(*record->picture);
    if (mQueue.size() > 1) {
        boost::shared_ptr<AviFrameRecord>& last = mQueue.back();
        bool const sameSlot = FrameSlot(last->timing) == FrameSlot(record->timing);
        if (sameSlot || mQueuedBytes + bytes > kMaxQueuedBytes) {
            if (sameSlot) {
                record->timing = last->timing;
            }
            mQueuedBytes -= PictureBytes(*last->picture);
            last = record;
            mQueuedBytes += bytes;
            return;
        }
    }
    mQueue.push_back(record);
    mQueuedBytes += bytes;
}

void AviRecorder::Dequeue() {
    if (!mQueue.empty()) {
        mQueuedBytes -= PictureBytes(*mQueue.front()->picture);
        mQueue.erase(mQueue.begin());
    }
}

int AviRecorder::FrameSlot(int timing) const {
    return (timing - mFirstTiming) / mInterval;
}

void AviRecorder::SetCursorPos(int x, int y) {
    mCursorX = x;
    mCursorY = y;
}

// The last picture is our own copy: the context it came from belongs to the session, which
// may be drawing into it on its thread or be gone.
void AviRecorder::ShowHideCursor(bool visible) {
    mCursorVisible = visible;
    boost::shared_ptr<Picture> last;
    {
        CriticalSectionLock lock(mQueueLock);
        last = mLastPicture;
    }
    if (last) {
        Queue(last, Now());
    }
}

bool AviRecorder::IsWriting() const {
    CriticalSectionLock lock(mQueueLock);
    return !mQueue.empty();
}

std::size_t AviRecorder::GetQueuedBytes() const {
    CriticalSectionLock lock(mQueueLock);
    return mQueuedBytes;
}

bool AviRecorder::IsPending() const {
    return IsWriting();
}

// Gives the writer up to a second to drain the queue; a drained queue ends the wait early.
bool AviRecorder::Stop() {
    mStopping = true;
    LeaveSession();
    Timer waited(true);
    while (IsWriting() && waited.GetTimeInMs() < static_cast<int>(kStopWaitMs)) {
        Sleep(kStopPollMs);
    }
    return IsWriting();
}

void AviRecorder::Close() {
    Stop();
    mThread.Join(INFINITE, false);
    ReleaseFrameContext();
}

tagBMPTOAVI_PARMS AviRecorder::GetParams() const {
    CriticalSectionLock lock(mQueueLock);
    return mParms;
}

int AviRecorder::Now() {
    return mTimer.GetTimeInMs();
}

bool AviRecorder::WriteFrame(CBmpToAvi& graph, HBITMAP frame) {
    return graph.AddFrame(frame);
}

int AviRecorder::TestFPS() {
    std::string const path = MeasurementFile();
    tagBMPTOAVI_PARMS parms = GetParams();
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    HDC dc = CreateFrameDc(parms, bitmap, old);
    HWND desktop = GetDesktopWindow();
    HDC screen = GetDC(desktop);
    RECT area{};
    GetClientRect(desktop, &area);
    StretchBlt(dc, 0, 0, parms.width, parms.height, screen, 0, 0, area.right, area.bottom, SRCCOPY);
    ReleaseDC(desktop, screen);
    double seconds = 0;
    std::string failure;
    {
        CBmpToAvi graph;
        if (!graph.Open(parms, path.c_str(), parms.codec)) {
            failure = graph.GetLastErrorText();
        }
        Timer timer(true);
        for (int i = 0; i < kTestFrames && failure.empty(); ++i) {
            if (!WriteFrame(graph, bitmap)) {
                failure = "Cannot draw image";
            }
        }
        seconds = timer.GetTimeInSec();
    }
    DeleteFileA(path.c_str());
    ReleaseFrameDc(dc, bitmap, old);
    if (!failure.empty()) {
        Raise(BaseError(failure));
    }
    int fps = seconds > 0 ? static_cast<int>(kTestFrames / seconds) : kMaxFps;
    return std::min(kMaxFps, std::max(kMinFps, fps));
}

void AviRecorder::OnRecording() {
    ComScope com;
    try {
        if (mOutputPath.empty()) {
            Raise(BaseError("No file path fits the recording folder"));
        }
        int fps = TestFPS();
        tagBMPTOAVI_PARMS parms;
        {
            CriticalSectionLock lock(mQueueLock);
            mParms.framesPerSecond = static_cast<float>(fps);
            parms = mParms;
        }
        mInterval = 1000 / fps;
        CBmpToAvi graph;
        if (!graph.Open(parms, mOutputPath.c_str(), parms.codec)) {
            SetError();
            return;
        }
        WriteQueue(graph, mInterval);
    } catch (BaseError const&) {
        // Already logged; a writer that ends takes no more frames.
        SetError();
    }
}

void AviRecorder::WriteQueue(CBmpToAvi& graph, int interval) {
    bool failed = false;
    while (WriteNext(graph, interval, failed)) {
    }
    if (failed) {
        FailWriting();
        return;
    }
    OnRecordingCompleted(this);
    graph.Close();
}

// The stop event (Close) ends the writing at once, even inside a long repeat of one frame: the
// file is finished with what it holds.
bool AviRecorder::WriteNext(CBmpToAvi& graph, int interval, bool& failed) {
    if (mThread.GetStopEvent().Wait(1) != WAIT_TIMEOUT) {
        return false;
    }
    if (!mPending && !mStopping) {
        return true;
    }
    boost::shared_ptr<AviFrameRecord> first, second;
    {
        CriticalSectionLock lock(mQueueLock);
        if (!mQueue.empty()) {
            first = mQueue.front();
        }
        if (mQueue.size() > 1) {
            second = mQueue[1];
        }
    }
    if (!first) {
        return !mStopping;
    }
    if (!second && !mStopping) {
        return true;  // its duration is still open
    }
    int end = second ? second->timing : Now();
    int count = RepeatCount(*first, end, interval, !second);
    CORVANE_LOG("Adding AVI frame," << count << " times for timing" << end << " last timing"
                                    << first->timing);
    if (count > 0) {
        DrawRecord(*first);
    }
    for (int i = 0; i < count; ++i) {
        if (i > 0 && mThread.GetStopEvent().Wait(0) == WAIT_OBJECT_0) {
            return false;
        }
        if (!WriteFrame(graph, mFrameBitmap)) {
            failed = true;
            return false;
        }
        ++mFramesWritten;
    }
    CriticalSectionLock lock(mQueueLock);
    Dequeue();
    return !(mStopping && mQueue.empty());
}

// Frames are counted from the first record, so the video keeps the recording's length: a
// record followed within the same interval by a newer picture is superseded and not written
// (the pictures are whole views), and only the last record of a stopped recording is written
// at least once.
int AviRecorder::RepeatCount(AviFrameRecord const& record, int end, int interval, bool last) {
    if (mVideoStart < 0) {
        mVideoStart = record.timing;
    }
    int const due = (end - mVideoStart) / interval - mFramesWritten;
    return std::max(due, last ? 1 : 0);
}

// Any picture size is stretched over the whole frame, never copied past it.
void AviRecorder::DrawRecord(AviFrameRecord const& record) {
    RECT whole{0, 0, mParms.width, mParms.height};
    record.picture->Draw(mFrameDc, whole);
    if (record.cursorVisible && mCursor) {
        DrawIconEx(mFrameDc, record.cursorX - mHotSpotX, record.cursorY - mHotSpotY, mCursor, mCursorWidth,
                   mCursorHeight, 0, nullptr, DI_NORMAL);
    }
    GdiFlush();
}

void AviRecorder::FailWriting() {
    ShowMessageBox(nullptr, L"Cannot write avi. Recording have stopped.", L"Error", MB_OK | MB_ICONERROR);
    try {
        Raise(BaseError("Recording failed"));
    } catch (BaseError const&) {
        // Logged; the recording ends here.
    }
    SetError();
}

// Leaves the session before taking the queue lock: leaving waits for a frame being queued.
void AviRecorder::SetError() {
    LeaveSession();
    CriticalSectionLock lock(mQueueLock);
    mQueue.clear();
    mQueuedBytes = 0;
    mStopping = true;
    mPending = false;
}
