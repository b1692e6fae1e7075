#pragma once

#include "CorvaneApi.h"

#include <atomic>
#include <boost/shared_ptr.hpp>
#include <string>
#include <vector>

#include "foundation/CriticalSection.h"
#include "foundation/Event.h"
#include "foundation/ScreenSize.h"
#include "foundation/Thread.h"
#include "foundation/Timer.h"
#include "foundation/WinTypes.h"
#include "recording/BmpToAviParms.h"
#include "session/ISession.h"

class CBmpToAvi;
class Picture;
class RecorderSessionLink;

// One picture of the viewed desktop as it was drawn, with its time and the cursor.
struct AviFrameRecord {
    boost::shared_ptr<Picture> picture;
    int timing;  // ms since the recording's first frame
    int cursorX;
    int cursorY;
    bool cursorVisible;
};

// Records one viewed desktop into an AVI file. Frames arrive when the remote picture changes
// (any rate); the writer thread "AviRecording" turns them into a constant-rate video by
// writing each frame as often as frame intervals pass until the next one, at a rate measured
// when it starts (5 to 15 frames a second). The user interface drives it through AviManager;
// frames come from the session's remote-screen-change event, on "SkypeEvent".
class CORVANE_API AviRecorder {
public:
    // What the queued pictures may take; at least two are queued whatever their size.
    static constexpr std::size_t kMaxQueuedBytes = 32u * 1024 * 1024;

    // Records `session` (not owned; null records only what AddFrame is given), whose full
    // name names the file in `outputFolder` (created if missing). The session may be deleted
    // before the recorder: it then simply gives no more frames.
    AviRecorder(ISession* session, tagBMPTOAVI_PARMS const& parms, std::string const& outputFolder);
    // Has the writer finish the file as Close does and releases what Close has not. A derived
    // recorder calls Close() in its own destructor.
    virtual ~AviRecorder();
    AviRecorder(AviRecorder const&) = delete;
    AviRecorder& operator=(AviRecorder const&) = delete;

    Event<AviRecorder*> OnRecorderEvent;  // kept for the user interface; never raised
    // Raised on "AviRecording" when the file is complete; handlers receive the recorder.
    Event<AviRecorder*> OnRecordingCompleted;

    // Subscribes to the session's frames, builds the file path and the frame bitmap and starts
    // the writer. Owner's thread.
    void Init();
    // The session's frame event, on "SkypeEvent": queues the drawn picture.
    void OnRemoteScreenChange(ISession::RemoteScreenChangeArgs const& args);
    // Queues the picture selected into `dc`, timed on the recording clock (started by the
    // first frame). The viewer's drawing thread.
    void AddFrame(HDC dc, ScreenSize size);
    // Queues a copy of `bitmap` taken `timing` ms after the first frame. A frame of another
    // size than the recording is stretched to it when written. Of the frames that wait behind
    // the one being written, only the newest of each frame interval is kept, and while the
    // queue holds kMaxQueuedBytes the newest takes the place of the last one. Dropped once
    // the recording stops. Any thread; the bitmap stays the caller's.
    void AddFrameAt(HBITMAP bitmap, int timing);
    // The cursor drawn into the following frames. Any thread.
    void SetCursorPos(int x, int y);
    // Shows or hides the cursor and records the last frame again so that the change shows.
    // Any thread.
    void ShowHideCursor(bool visible);
    // The bytes of the pictures queued. Any thread.
    std::size_t GetQueuedBytes() const;
    // Both true while frames are queued.
    bool IsWriting() const;
    bool IsPending() const;
    // No new frames (the session's event is left at once); the writer writes out the queue
    // and ends. Waits up to 1000 ms for the queue to drain, then returns whether frames are
    // still queued. Owner's thread.
    bool Stop();
    // Stop, then have the writer end what it writes (a repeated frame's remaining repeats and
    // the frames still queued are left out), finish the file and end; waits for that without
    // limit, since a killed writer leaves a file no player reads. Releases the frame bitmap.
    // Owner's thread.
    void Close();

    std::string GetFilePath() const { return mOutputPath; }
    // The parameters, with the measured frame rate once the writer has started.
    tagBMPTOAVI_PARMS GetParams() const;

protected:
    // The measured frame rate, 5 to 15: ten frames of the desktop written to a scratch file.
    virtual int TestFPS();
    // Milliseconds on the recording clock.
    virtual int Now();
    // Hands one frame to the graph; false when it refused it.
    virtual bool WriteFrame(CBmpToAvi& graph, HBITMAP frame);

private:
    void LoadCursorSprite();
    // Appends a record of `picture` with the cursor as it is now.
    void Queue(boost::shared_ptr<Picture> const& picture, int timing);
    // Stops the session's frames; waits for one being queued. Any thread.
    void LeaveSession();
    void BuildFilePath();
    // Where the newest record goes; under the queue lock.
    void Enqueue(boost::shared_ptr<AviFrameRecord> const& record);
    void Dequeue();
    int FrameSlot(int timing) const;
    void CreateFrameContext();
    void ReleaseFrameContext();
    void OnRecording();
    void WriteQueue(CBmpToAvi& graph, int interval);
    // One step of the queue: false when the writer is done.
    bool WriteNext(CBmpToAvi& graph, int interval, bool& failed);
    // How often a record shown until `end` is written, keeping the video on the recording's clock.
    int RepeatCount(AviFrameRecord const& record, int end, int interval, bool last);
    void DrawRecord(AviFrameRecord const& record);
    void FailWriting();
    void SetError();

    // Cursor sprite and position.
    HCURSOR mCursor = nullptr;  // shared system cursor
    int mHotSpotX = 0;
    int mHotSpotY = 0;
    int mCursorWidth = 0;
    int mCursorHeight = 0;
    std::atomic<int> mCursorX{0};
    std::atomic<int> mCursorY{0};
    std::atomic<bool> mCursorVisible{false};

    ISession* mSession;  // not owned; only read through mLink once Init has run
    boost::shared_ptr<RecorderSessionLink> mLink;
    tagBMPTOAVI_PARMS mParms;
    std::string mOutputFolder;
    std::string mOutputPath;

    HDC mFrameDc = nullptr;          // owned
    HBITMAP mFrameBitmap = nullptr;  // owned, selected into mFrameDc
    HGDIOBJ mOldBitmap = nullptr;    // mFrameDc's own
    Thread mThread;

    // The writer's clock ("AviRecording" only): the first record's timing and frames written.
    int mVideoStart = -1;
    int mFramesWritten = 0;

    std::atomic<int> mLastTiming{-1};
    Timer mTimer;
    std::atomic<bool> mPending{false};
    std::atomic<bool> mStopping{false};
    mutable CriticalSection mQueueLock;
    std::vector<boost::shared_ptr<AviFrameRecord>> mQueue;
    std::size_t mQueuedBytes = 0;             // of the queued pictures
    int mFirstTiming = -1;                    // of the first record queued
    std::atomic<int> mInterval;               // ms a frame lasts: the measured rate's once known
    boost::shared_ptr<Picture> mLastPicture;  // the last frame's, for ShowHideCursor; guarded too
};
