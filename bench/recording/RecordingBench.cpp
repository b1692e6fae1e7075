// Frames per second written into an AVI file through the recording graph at 1280x1024, 24 bits,
// uncompressed and with each compressor the system offers, against writing the same raw frames
// to a file with WriteFile. The recorder measures its rate the same way (ten frames through
// the graph), so the graph's figure is the rate a recording gets, before the 5..15 clamp.
//
// Then our own compressors on a changing desktop (the demo scene's kind of change: shapes
// moving over a desktop-like picture, a clock), at 15 frames a second: the milliseconds a
// frame takes through the graph and the file's bytes a second, each against the uncompressed
// graph in the same run. "ratio" >= "target_ratio" meets the target.

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "DesktopFrame.h"
#include "TempFolder.h"
#include "ZmbvEncoder.h"
#include "foundation/Timer.h"
#include "imaging/ComScope.h"
#include "imaging/Picture.h"
#include "recording/BmpToAviCodecs.h"
#include "recording/CBmpToAvi.h"
#include "recording/CodecsEngine.h"

namespace {

constexpr int kFrames = 30;
constexpr int kRepeats = 3;
char const kBaseline[] = "WriteFile of the raw frames";

// A 24-bit DIB section of the desktop frame's size, rows top-down at `bits`.
HBITMAP MakeDib(void*& bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = DesktopFrame::kWidth;
    info.bmiHeader.biHeight = -DesktopFrame::kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

// The desktop-like frame as a 24-bit DIB section, and its raw bytes.
HBITMAP MakeFrame(std::vector<unsigned char>& raw) {
    std::vector<unsigned char> rows = DesktopFrame::Pack(DesktopFrame::Make(), 24);
    void* bits = nullptr;
    HBITMAP bitmap = MakeDib(bits);
    std::memcpy(bits, rows.data(), rows.size());  // 1280 x 3 needs no row padding
    raw = rows;
    return bitmap;
}

// Seconds for kFrames through a graph with `codec`, or a negative value when it cannot open.
double WriteAvi(std::string const& path, std::string const& codec, HBITMAP frame, std::string& failure) {
    tagBMPTOAVI_PARMS parms;
    parms.width = DesktopFrame::kWidth;
    parms.height = DesktopFrame::kHeight;
    parms.bitsPerPixel = 24;
    parms.framesPerSecond = 10.0f;
    CBmpToAvi graph;
    if (!graph.Open(parms, path.c_str(), codec)) {
        failure = graph.GetLastErrorText();
        return -1;
    }
    Timer timer(true);
    for (int i = 0; i < kFrames; ++i) {
        graph.AddFrame(frame);
    }
    graph.Close();
    return timer.GetTimeInSec();
}

double WriteRaw(std::string const& path, std::vector<unsigned char> const& raw) {
    Timer timer(true);
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    for (int i = 0; i < kFrames; ++i) {
        DWORD written = 0;
        WriteFile(file, raw.data(), static_cast<DWORD>(raw.size()), &written, nullptr);
    }
    CloseHandle(file);
    return timer.GetTimeInSec();
}

void Print(std::string const& codec, double seconds, double baselineSeconds) {
    double rate = kFrames / seconds;
    double baselineRate = kFrames / baselineSeconds;
    std::printf(
        "{\"name\": \"AviFrames/%s\", \"frames\": %d, \"seconds\": %.4f, \"rate\": %.2f, \"baseline\": "
        "\"%s\", "
        "\"baseline_rate\": %.2f, \"ratio\": %.4f}\n",
        codec.c_str(), kFrames, seconds, rate, kBaseline, baselineRate, rate / baselineRate);
    std::fflush(stdout);
}

constexpr int kSceneFrames = 120;  // 8 s: two key frames of the lossless compressor
constexpr float kSceneFps = 15.0f;
constexpr double kTargetShare = 0.015;      // of the uncompressed bytes
constexpr double kTargetMsPerFrame = 12.0;  // the lossless compressor

// Frame `step` of the scene: the desktop picture with four shapes on their own paths and a
// clock line, drawn into `frame` (a DIB section selected into `dc`) over `background`.
void PaintScene(HDC dc, HDC background, int step) {
    BitBlt(dc, 0, 0, DesktopFrame::kWidth, DesktopFrame::kHeight, background, 0, 0, SRCCOPY);
    double t = step / 20.0;
    for (int i = 0; i < 4; ++i) {
        int x = 140 + static_cast<int>((DesktopFrame::kWidth - 260) *
                                       (0.5 + 0.5 * std::sin(t * (0.7 + 0.3 * i) + i)));
        int y = 110 + static_cast<int>((DesktopFrame::kHeight - 200) *
                                       (0.5 + 0.5 * std::cos(t * (0.5 + 0.2 * i) + 2 * i)));
        HBRUSH brush = CreateSolidBrush(RGB(60 * i, 200 - 40 * i, 90 + 50 * i));
        HGDIOBJ old = SelectObject(dc, brush);
        if (i % 2) {
            Ellipse(dc, x, y, x + 70, y + 70);
        } else {
            Rectangle(dc, x, y, x + 80, y + 50);
        }
        SelectObject(dc, old);
        DeleteObject(brush);
    }
    int ms = static_cast<int>(step * 1000 / kSceneFps);
    char text[64];
    int length = std::snprintf(text, sizeof(text), "12:%02d:%02d.%03d   frame %d", ms / 60000, ms / 1000 % 60,
                               ms % 1000, step);
    TextOutA(dc, 100, 30, text, length);
}

struct SceneRun {
    double seconds = 0;  // in AddFrame
    double bytes = 0;    // of the file
};

// The scene's frames through a graph with `codec`; false when it cannot open.
bool RecordScene(std::string const& path, std::string const& codec, HBITMAP frame, HDC dc, HDC background,
                 SceneRun& run) {
    tagBMPTOAVI_PARMS parms;
    parms.width = DesktopFrame::kWidth;
    parms.height = DesktopFrame::kHeight;
    parms.bitsPerPixel = 24;
    parms.framesPerSecond = kSceneFps;
    parms.quality = Picture::kDefaultJpegQuality;
    CBmpToAvi graph;
    if (!graph.Open(parms, path.c_str(), codec)) {
        std::fprintf(stderr, "%s: the graph does not open: %s\n", codec.c_str(),
                     graph.GetLastErrorText().c_str());
        return false;
    }
    run.seconds = 0;
    for (int step = 0; step < kSceneFrames; ++step) {
        PaintScene(dc, background, step);
        GdiFlush();
        Timer timer(true);
        graph.AddFrame(frame);
        run.seconds += timer.GetTimeInSec();
    }
    Timer timer(true);
    graph.Close();
    run.seconds += timer.GetTimeInSec();
    run.bytes = static_cast<double>(ReadWholeFile(path).size());
    return true;
}

void PrintScene(char const* codec, SceneRun const& run, SceneRun const& raw, double targetMs) {
    double perSecond = run.bytes / (kSceneFrames / kSceneFps);
    double rawPerSecond = raw.bytes / (kSceneFrames / kSceneFps);
    std::printf(
        "{\"name\": \"SceneBytes/%s\", \"frames\": %d, \"bytes_per_second\": %.0f, \"baseline\": "
        "\"uncompressed through the graph\", \"baseline_bytes_per_second\": %.0f, \"share\": %.5f, "
        "\"ratio\": %.2f, \"target_ratio\": %.2f}\n",
        codec, kSceneFrames, perSecond, rawPerSecond, run.bytes / raw.bytes, raw.bytes / run.bytes,
        1.0 / kTargetShare);
    // ratio: the uncompressed graph's time over ours; at most `targetMs` a frame meets the target.
    double ms = 1000.0 * run.seconds / kSceneFrames;
    double rawMs = 1000.0 * raw.seconds / kSceneFrames;
    char target[64] = "";
    if (targetMs > 0) {
        std::snprintf(target, sizeof(target), ", \"target_ratio\": %.3f", rawMs / targetMs);
    }
    std::printf(
        "{\"name\": \"SceneFrameTime/%s\", \"frames\": %d, \"ms_per_frame\": %.2f, \"baseline\": "
        "\"uncompressed through the graph\", \"baseline_ms_per_frame\": %.2f, \"ratio\": %.3f%s}\n",
        codec, kSceneFrames, ms, rawMs, rawMs / ms, target);
    std::fflush(stdout);
}

// The lossless encoder alone on the scene's frames (the graph's time above also holds the
// source's copy of each frame and the multiplexer): ratio is the target over its time.
void MeasureEncoder(HDC dc, HDC background, unsigned char const* bits) {
    std::ptrdiff_t stride = DesktopFrame::kWidth * 3;
    ZmbvEncoder encoder(DesktopFrame::kWidth, DesktopFrame::kHeight, static_cast<int>(kSceneFps * 4), 1);
    std::vector<unsigned char> out;
    double seconds = 0;
    for (int step = 0; step < kSceneFrames; ++step) {
        PaintScene(dc, background, step);
        GdiFlush();
        bool key = false;
        Timer timer(true);
        encoder.Encode(bits, stride, 24, out, key);
        seconds += timer.GetTimeInSec();
    }
    double ms = 1000.0 * seconds / kSceneFrames;
    std::printf(
        "{\"name\": \"SceneEncodeTime/ZMBV\", \"frames\": %d, \"ms_per_frame\": %.2f, \"ratio\": %.3f, "
        "\"target_ratio\": 1.0}\n",
        kSceneFrames, ms, kTargetMsPerFrame / ms);
    std::fflush(stdout);
}

// Our compressors against the uncompressed graph on the scene.
void MeasureScene(TempFolder const& folder) {
    std::vector<unsigned char> raw;
    HBITMAP picture = MakeFrame(raw);
    void* bits = nullptr;
    HBITMAP frame = MakeDib(bits);
    HDC background = CreateCompatibleDC(nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ oldBackground = SelectObject(background, picture);
    HGDIOBJ oldFrame = SelectObject(dc, frame);
    SetBkMode(dc, TRANSPARENT);
    SceneRun uncompressed, lossless, jpeg;
    std::string path = folder.File("scene.avi");
    auto record = [&](std::string const& codec, SceneRun& run) {
        return RecordScene(path, codec, frame, dc, background, run);
    };
    if (record(CodecsEngine::kUncompressed, uncompressed)) {
        if (record(kBmpToAviLosslessCodec, lossless)) {
            PrintScene("ZMBV", lossless, uncompressed, kTargetMsPerFrame);
        }
        if (record(kBmpToAviMotionJpegCodec, jpeg)) {
            PrintScene("MJPG", jpeg, uncompressed, 0);
        }
    }
    MeasureEncoder(dc, background, static_cast<unsigned char const*>(bits));
    SelectObject(dc, oldFrame);
    SelectObject(background, oldBackground);
    DeleteDC(dc);
    DeleteDC(background);
    DeleteObject(frame);
    DeleteObject(picture);
}

}  // namespace

int main() {
    ComScope com;
    TempFolder folder;
    std::vector<unsigned char> raw;
    HBITMAP frame = MakeFrame(raw);
    std::vector<std::string> codecs = CodecsEngine().GetCodecs();
    for (std::string const& codec : codecs) {
        std::string failure;
        double best = -1;
        double baseline = 1e9;
        for (int i = 0; i < kRepeats; ++i) {
            double seconds = WriteAvi(folder.File("bench.avi"), codec, frame, failure);
            if (seconds < 0) {
                break;
            }
            best = best < 0 ? seconds : std::min(best, seconds);
            baseline = std::min(baseline, WriteRaw(folder.File("bench.raw"), raw));
        }
        if (best < 0) {
            std::fprintf(stderr, "%s: the graph does not open: %s\n", codec.c_str(), failure.c_str());
            continue;
        }
        Print(codec, best, baseline);
    }
    DeleteObject(frame);
    MeasureScene(folder);
    return 0;
}
