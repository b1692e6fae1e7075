// Frames per second written into an AVI file through the recording graph at 1280x1024, 24 bits,
// uncompressed and with each compressor the system offers, against writing the same raw frames
// to a file with WriteFile. The recorder measures its rate the same way (ten frames through
// the graph), so the graph's figure is the rate a recording gets, before the 5..15 clamp.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "DesktopFrame.h"
#include "TempFolder.h"
#include "foundation/Timer.h"
#include "imaging/ComScope.h"
#include "recording/CBmpToAvi.h"
#include "recording/CodecsEngine.h"

namespace {

constexpr int kFrames = 30;
constexpr int kRepeats = 3;
char const kBaseline[] = "WriteFile of the raw frames";

// The desktop-like frame as a bottom-up 24-bit DIB section, and its raw bytes.
HBITMAP MakeFrame(std::vector<unsigned char>& raw) {
    std::vector<unsigned char> rows = DesktopFrame::Pack(DesktopFrame::Make(), 24);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = DesktopFrame::kWidth;
    info.bmiHeader.biHeight = -DesktopFrame::kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
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
    return 0;
}
