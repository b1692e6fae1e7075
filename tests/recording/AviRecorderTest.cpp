#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <tuple>

#include "AviFile.h"
#include "FrameSession.h"
#include "MessageBoxCapture.h"
#include "RecordingFrames.h"
#include "TempFolder.h"
#include "WorkerThread.h"
#include "foundation/SyncEvent.h"
#include "foundation/Timer.h"
#include "recording/AviManager.h"
#include "recording/AviRecorder.h"
#include "recording/CBmpToAvi.h"

namespace {

// A recorder at a fixed 10 frames a second, on a clock the test sets, whose graph may refuse
// frames from a chosen one on.
class TimedRecorder : public AviRecorder {
public:
    TimedRecorder(std::string const& folder, ISession* session = nullptr,
                  tagBMPTOAVI_PARMS const& parms = {kWidth, kHeight, 24, 10.0f, "", 0})
        : AviRecorder(session, parms, folder) {
        OnRecordingCompleted.Add(MakeDelegate<&TimedRecorder::Completed>(this));
    }
    ~TimedRecorder() override { Close(); }

    void Add(int index, int timing) {
        HBITMAP frame = RecordingFrames::Make(kWidth, kHeight, index);
        AddFrameAt(frame, timing);
        DeleteObject(frame);
    }
    // Raises frame i of `timings` at its time on a thread that plays "SkypeEvent".
    void RaiseFrames(FrameSession& session, std::vector<int> const& timings) {
        WorkerThread skypeEvent([&] {
            for (std::size_t i = 0; i < timings.size(); ++i) {
                clock = timings[i];
                session.RaiseFrame(static_cast<int>(i), kWidth, kHeight);
            }
        });
        skypeEvent.Join();
    }
    // Stops at `now` on the clock and waits for the file to be complete.
    bool StopAt(int now) {
        clock = now;
        bool queued = Stop();
        EXPECT_EQ(WAIT_OBJECT_0, completed.Wait(10000));
        Close();
        return queued;
    }

    std::atomic<int> clock{0};
    std::atomic<int> writesLeft{1 << 30};  // the writes the graph takes before it refuses
    std::atomic<int> writeDelay{0};        // ms each write takes
    SyncEvent completed;

protected:
    int TestFPS() override { return 10; }
    int Now() override { return clock; }
    bool WriteFrame(CBmpToAvi& graph, HBITMAP frame) override {
        if (writesLeft-- <= 0) {
            return false;
        }
        Sleep(writeDelay);
        return AviRecorder::WriteFrame(graph, frame);
    }

private:
    void Completed(AviRecorder*) { completed.Set(); }
};

// The frame index each written frame shows.
std::vector<int> FrameIndexes(std::string const& path, int count) {
    std::vector<int> indexes;
    for (auto const& pixels : AviFile::Read(path).DecodeFrames()) {
        indexes.push_back(RecordingFrames::Nearest(pixels, kWidth, kHeight, count));
    }
    return indexes;
}

// Rows: the timings of frames 0, 1, ..., the stop time, and the frame each written frame shows.
TEST(AviRecorderTest, RepeatsEachFrameOfTheSessionForTheIntervalsUntilTheNext) {
    TempFolder folder;
    std::tuple<char const*, std::vector<int>, int, std::vector<int>> const cases[] = {
        {"one frame, stopped at once", {0}, 0, {0}},
        {"1000 ms apart at 10 fps", {0, 1000}, 1000, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"closer than an interval: superseded, the length kept", {0, 50, 250}, 250, {1, 1, 2}},
        {"ten a second at 10 fps", {0, 100, 200, 300}, 400, {0, 1, 2, 3}},
        {"forty a second at 10 fps", {0, 25, 50, 75, 100, 125, 150, 175, 200}, 200, {3, 7, 8}},
        {"stop long after the last", {0}, 350, {0, 0, 0}},
    };
    for (auto const& [name, timings, stopAt, written] : cases) {
        SCOPED_TRACE(name);
        FrameSession session("Bob");
        TimedRecorder recorder(folder.Path(), &session);
        recorder.Init();
        recorder.RaiseFrames(session, timings);
        recorder.StopAt(stopAt);
        EXPECT_TRUE(session.RemoteScreenChanged.IsEmpty());
        EXPECT_EQ(10.0f, recorder.GetParams().framesPerSecond);
        EXPECT_EQ(written, FrameIndexes(recorder.GetFilePath(), static_cast<int>(timings.size())));
        DeleteFileA(recorder.GetFilePath().c_str());
    }
}

// The name comes from the peer: whatever it holds, the file lies directly in the folder, under
// a name of at most RecordingFileName::kMaxNameChars characters before the time stamp (rows:
// what, the folder, the person, the name before the stamp or "" where MAX_PATH decides).
TEST(AviRecorderTest, NamesTheFileAfterThePersonAndTheTimeInsideTheFolder) {
    TempFolder folder;
    std::string const nested = folder.Path() + "\\videos\\new";
    std::string const deep = folder.Path() + "\\" + std::string(150, 'd');
    struct {
        char const* what;
        std::string folder, person, name;
    } const cases[] = {
        {"separators and quotes", nested, "Ann/Bo: \"x\"", "Ann_Bo_ _x_ "},
        {"climbing out", nested, "..\\..\\up", ".._.._up "},
        {"absolute and shared paths", nested, "C:\\Windows\\\\\\host\\s", "C__Windows___host_s "},
        {"markup and control characters", nested, "<img src=x>\t\x01", "_img src_x___ "},
        {"full-width dots and solidus", nested, u8"\uFF0E\uFF0E\uFF3Cup", "___up "},
        {"300 characters", nested, std::string(300, 'a'), std::string(64, 'a') + " "},
        {"300 characters in a deep folder", deep, std::string(300, 'b'), ""},
    };
    for (auto const& c : cases) {
        SCOPED_TRACE(c.what);
        FrameSession session(c.person);
        TimedRecorder recorder(c.folder, &session);
        recorder.Init();
        std::string const path = recorder.GetFilePath();
        std::string name = path.substr(std::min(path.size(), c.folder.size() + 1));
        std::replace_if(name.begin(), name.end(), ::isdigit, '0');
        std::string const before = name.size() > 21 ? name.substr(0, name.size() - 21) : "";
        EXPECT_EQ(c.folder + "\\", path.substr(0, c.folder.size() + 1));
        EXPECT_EQ((c.name.empty() ? before : c.name) + "00-00-00 00.00.00.avi", name);
        EXPECT_FALSE(before.empty()) << "no room for a name";
        EXPECT_GT(static_cast<std::size_t>(MAX_PATH), path.size());
        recorder.Add(0, 0);
        recorder.StopAt(0);
        EXPECT_NO_THROW(EXPECT_EQ(1u, AviFile::Read(path).length));
    }
}

// A write that fails stops the recording with a message box; a graph that does not open ends
// it without a word or a file. Either way the session is let go and later frames are dropped.
TEST(AviRecorderTest, AFailedWriteOrGraphStopsTheRecordingAndDropsLaterFrames) {
    TempFolder folder;
    MessageBoxCapture boxes;
    FrameSession failing("Bob");
    FrameSession unopened("Carol");
    TimedRecorder recorder(folder.Path(), &failing);
    recorder.writesLeft = 1;
    recorder.Init();
    recorder.RaiseFrames(failing, {0, 300});  // frame 0 is due three times: the second write fails
    AviManager manager;
    auto unknown =
        manager.NewRecording(&unopened, {kWidth, kHeight, 24, 10.0f, "No Such Codec"}, folder.Path());
    HBITMAP frame = RecordingFrames::Make(kWidth, kHeight, 0);
    unknown->AddFrameAt(frame, 0);
    for (int i = 0; i < 1000 && (boxes.Boxes().empty() || unknown->IsPending()); ++i) {
        Sleep(10);  // until both writers have given up
    }
    ASSERT_EQ(1u, boxes.Boxes().size());
    EXPECT_EQ(L"Cannot write avi. Recording have stopped.", boxes.Boxes()[0].text);
    EXPECT_EQ(L"Error", boxes.Boxes()[0].caption);
    for (int i = 0; i < 50; ++i) {
        recorder.Add(i % 5, 400 + i);
        unknown->AddFrameAt(frame, 1000 + i);
    }
    DeleteObject(frame);
    EXPECT_TRUE(failing.RemoteScreenChanged.IsEmpty());
    EXPECT_TRUE(unopened.RemoteScreenChanged.IsEmpty());
    EXPECT_FALSE(recorder.IsWriting());
    EXPECT_FALSE(recorder.Stop());
    EXPECT_FALSE(manager.IsTherePendingRecorders());
    manager.StopAllRecordings();
    unknown->Close();
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(unknown->GetFilePath().c_str()));
}

// The session's frames keep coming on their own thread while the owner closes the recorder (which
// lets the session go), or the session goes away while the recorder runs.
TEST(AviRecorderTest, ClosingWhileFramesArriveAndDeletingTheSessionAreSafe) {
    TempFolder folder;
    {
        SCOPED_TRACE("closed while frames arrive, then deleted");
        FrameSession session("Bob");
        auto recorder = std::make_unique<TimedRecorder>(folder.Path(), &session);
        recorder->Init();
        std::atomic<bool> raising{true};
        std::atomic<int> raised{0};
        WorkerThread skypeEvent([&, clock = &recorder->clock] {
            for (int i = 0; raising; ++i) {
                *clock = i * 10;
                session.RaiseFrame(i % 5, kWidth, kHeight);
                ++raised;
            }
        });
        for (DWORD start = GetTickCount(); raised < 20 && GetTickCount() - start < 10000;) {
            Sleep(1);  // until the frames are coming
        }
        recorder->Close();
        EXPECT_TRUE(session.RemoteScreenChanged.IsEmpty());
        raising = false;
        skypeEvent.Join();
        EXPECT_LE(1u, AviFile::Read(recorder->GetFilePath()).length);
        recorder.reset();
        session.RaiseFrame(0, kWidth, kHeight);
        session.Empty();
        EXPECT_TRUE(session.StateChanging.IsEmpty());
    }
    {
        SCOPED_TRACE("session deleted while recording");
        auto session = std::make_unique<FrameSession>("Bob");
        TimedRecorder recorder(folder.Path(), session.get());
        recorder.Init();
        WorkerThread skypeEvent([&] {
            recorder.RaiseFrames(*session, {0, 100, 200});
            session->Empty();
        });
        skypeEvent.Join();
        EXPECT_TRUE(session->RemoteScreenChanged.IsEmpty());
        EXPECT_TRUE(session->StateChanging.IsEmpty());
        session.reset();
        // The cursor shown afterwards records the last picture again, from the recorder's copy.
        recorder.clock = 300;
        recorder.SetCursorPos(kWidth / 2, kHeight / 2);
        recorder.ShowHideCursor(true);
        recorder.StopAt(400);
        auto frames = AviFile::Read(recorder.GetFilePath()).DecodeFrames();
        EXPECT_EQ((std::vector<int>{0, 1, 2, 2}), FrameIndexes(recorder.GetFilePath(), 3));
        EXPECT_NE(frames.at(2), frames.at(3));  // the cursor
    }
}

// A slow writer meets a flood of changes: the queue keeps the newest view of each interval
// within a bound, and the video keeps the recording's length. Stop waits for no queued frame,
// but the file gets them all, each stretched to the recording's size. With ten minutes of a
// still view due when the recording closes, Close ends the burst and still waits for the writer
// to finish the file.
TEST(AviRecorderTest, ASlowWriterQueuesBoundedBytesAndFinishesItsFile) {
    TempFolder folder;
    FrameSession session("Bob");
    TimedRecorder recorder(folder.Path(), &session);
    recorder.writeDelay = 500;
    recorder.Init();
    std::size_t peak = 0;
    for (int i = 0; i < 200; ++i) {
        recorder.clock = i * 20;
        session.RaiseFrame(i % 5, 640, 480);  // 1.2 MB a view
        peak = std::max(peak, recorder.GetQueuedBytes());
    }
    EXPECT_GE(AviRecorder::kMaxQueuedBytes, peak);
    EXPECT_TRUE(recorder.IsPending());
    recorder.writeDelay = 50;  // the frames due take longer than Stop waits
    EXPECT_TRUE(recorder.StopAt(4000));
    EXPECT_FALSE(recorder.IsWriting());
    AviFile avi = AviFile::Read(recorder.GetFilePath());
    EXPECT_EQ(40u, avi.length);
    EXPECT_EQ(kWidth, static_cast<int>(avi.width));
    // Flat colours survive any stretch.
    EXPECT_EQ(RecordingFrames::Pixels(kWidth, kHeight, 4).back(), avi.DecodeFrames().back().back());
    TimedRecorder still(folder.Path());
    still.writeDelay = 50;
    still.Init();
    still.Add(0, 0);
    still.clock = 600000;
    Timer closing(true);
    still.Close();
    EXPECT_GT(8000, closing.GetTimeInMs());
    EXPECT_EQ(WAIT_OBJECT_0, still.completed.Wait(0));  // the writer got to its end
    AviFile file = AviFile::Read(still.GetFilePath());
    EXPECT_EQ(file.riffSize + 8, file.fileSize);
    EXPECT_LE(1u, file.frames.size());
    EXPECT_EQ(file.length, file.frames.size());
}

// Recordings started at the same moment each measure their rate on a file of their own.
TEST(AviRecorderTest, RecordingsStartedTogetherEachMeasureTheirRate) {
    TempFolder folder;
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        AviManager manager;
        std::vector<std::unique_ptr<FrameSession>> sessions;
        std::vector<boost::shared_ptr<AviRecorder>> recorders;
        std::string const where = folder.File(std::to_string(round));
        for (int i = 0; i < 3; ++i) {
            sessions.push_back(std::make_unique<FrameSession>("Bob" + std::to_string(i)));
            recorders.push_back(
                manager.NewRecording(sessions.back().get(), {kWidth, kHeight, 24, 10.0f, "", 0}, where));
        }
        for (int i = 0; i < 3; ++i) {
            sessions[i]->RaiseFrame(i, kWidth, kHeight);
        }
        manager.StopAllRecordings();
        for (int i = 0; i < 3; ++i) {
            recorders[i]->Close();
            float fps = recorders[i]->GetParams().framesPerSecond;
            EXPECT_TRUE(fps >= 5.0f && fps <= 15.0f) << fps;
            EXPECT_EQ(i, FrameIndexes(recorders[i]->GetFilePath(), 3).at(0));
        }
    }
}

}  // namespace
