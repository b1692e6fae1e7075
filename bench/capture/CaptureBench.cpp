// Change detection on the live screen against the plain way to find a change: one full-screen
// BitBlt + GetDIBits into a buffer and a memcmp against a stored copy. Rates are bytes of the
// 24-bit screen per second, so the ratio is how many times faster the frame buffer is.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "ScreenScene.h"
#include "capture/FrameBufferOut.h"
#include "capture/ScreenGrab.h"
#include "foundation/Timer.h"

namespace {

constexpr int kRepeats = 20;
char const kBaseline[] = "full-screen BitBlt + GetDIBits + memcmp";

// The baseline, with its context and bitmap made once (the cheapest form of it).
class FullScreenCompare {
public:
    explicit FullScreenCompare(SIZE size) : mSize(size) {
        mScreen = GetDC(nullptr);
        mMemory = CreateCompatibleDC(mScreen);
        mBitmap = CreateCompatibleBitmap(mScreen, size.cx, size.cy);
        std::size_t stride = (std::size_t(size.cx) * 3 + 3) & ~std::size_t(3);
        mPixels.resize(stride * size.cy);
        mStored.resize(mPixels.size());
        Run();
        mStored = mPixels;
    }
    ~FullScreenCompare() {
        DeleteObject(mBitmap);
        DeleteDC(mMemory);
        ReleaseDC(nullptr, mScreen);
    }
    // True when the screen differs from the stored copy.
    bool Run() {
        HGDIOBJ previous = SelectObject(mMemory, mBitmap);
        BitBlt(mMemory, 0, 0, mSize.cx, mSize.cy, mScreen, 0, 0, SRCCOPY | CAPTUREBLT);
        SelectObject(mMemory, previous);
        BITMAPINFO info = ScreenGrab::TopDownInfo(mSize.cx, mSize.cy, 24);
        GetDIBits(mMemory, mBitmap, 0, UINT(mSize.cy), mPixels.data(), &info, DIB_RGB_COLORS);
        return std::memcmp(mPixels.data(), mStored.data(), mPixels.size()) != 0;
    }

private:
    SIZE mSize;
    HDC mScreen;
    HDC mMemory;
    HBITMAP mBitmap;
    std::vector<unsigned char> mPixels;
    std::vector<unsigned char> mStored;
};

// Windows with title bars and rows of glyph-like marks on a grey desktop.
void PaintDesktop(ScreenScene& scene) {
    scene.Fill(RECT{0, 0, 1280, 1024}, RGB(58, 110, 165));
    int const windows[][4] = {{40, 30, 700, 560}, {500, 200, 1200, 900}, {100, 600, 600, 1000}};
    for (auto const& w : windows) {
        scene.Fill(RECT{w[0], w[1], w[2], w[3]}, RGB(236, 236, 236));
        scene.Fill(RECT{w[0], w[1], w[2], w[1] + 24}, RGB(0, 90, 200));
        for (int line = w[1] + 36; line + 12 < w[3]; line += 18) {
            for (int x = w[0] + 8; x + 40 < w[2]; x += 47) {
                scene.Fill(RECT{x, line + 2, x + 37, line + 12}, RGB(30, 30, 30));
            }
        }
    }
}

bool TakePacket(CFrameBufferOut& buffer) {
    void* data = nullptr;
    unsigned long size = 0;
    int owned = 0;
    if (!buffer.GetData(data, size, owned)) {
        return false;
    }
    buffer.FreeData(data);
    return true;
}

// Best of kRepeats timed runs of `timed`, each after an untimed `prepare`.
double BestPrepared(std::function<void(int)> const& prepare, std::function<void()> const& timed) {
    double best = 0;
    for (int i = 0; i < kRepeats; ++i) {
        prepare(i);
        Timer timer(true);
        timed();
        double seconds = timer.GetTimeInSec();
        best = i == 0 || seconds < best ? seconds : best;
    }
    return best;
}

// A still screen whose cells are all marked: the pass that finds nothing.
void StillScreen(SIZE size, FullScreenCompare& baseline) {
    CFrameBufferOut buffer;
    buffer.SetCaps(size.cx, size.cy, 3);
    TakePacket(buffer);
    RECT const screen = {0, 0, size.cx, size.cy};
    BenchTimes times = CompareBest(
        kRepeats,
        [&] {
            buffer.InvalidateRect(screen);
            if (TakePacket(buffer)) {
                std::fprintf(stderr, "unexpected packet on a still screen\n");
            }
        },
        [&] { baseline.Run(); });
    PrintMeasurement("StillScreenAllMarked/24bpp", size.cx * size.cy * 3.0, times.subject, kBaseline,
                     times.baseline);
}

// The whole screen changes; one pass gives it as one packet.
void FullChange(ScreenScene& scene, SIZE size, int depth, FullScreenCompare& baseline) {
    CFrameBufferOut buffer;
    buffer.SetCaps(size.cx, size.cy, depth);
    TakePacket(buffer);
    RECT const screen = {0, 0, size.cx, size.cy};
    bool whole = true;
    auto change = [&](int i) {
        scene.Fill(screen, i % 2 ? RGB(40, 120, 200) : RGB(200, 90, 40));
        buffer.Clear();
        buffer.InvalidateRect(screen);
    };
    double subject = BestPrepared(change, [&] {
        void* data = nullptr;
        unsigned long bytes = 0;
        int owned = 0;
        whole = buffer.GetData(data, bytes, owned) && whole &&
                bytes == 12 + std::size_t(size.cx - 1) * (size.cy - 1) * depth;
        buffer.FreeData(data);
    });
    double reference = BestPrepared([&](int i) { scene.Fill(screen, i % 2 ? RGB(1, 2, 3) : RGB(3, 2, 1)); },
                                    [&] { baseline.Run(); });
    if (!whole) {
        std::fprintf(stderr, "full change did not come as one packet\n");
    }
    PrintMeasurement("FullScreenChange/" + std::to_string(depth * 8) + "bpp", size.cx * size.cy * 3.0,
                     subject, kBaseline, reference);
}

// A 64 x 16 change in the middle of a still screen whose cells are all marked, as the window
// enumeration marks them: the pass from the screen showing the change to its packet, with the
// scan starting at the top, so that the cells above the change are checked on the way.
void SmallChange(ScreenScene& scene, SIZE size, FullScreenCompare& baseline) {
    CFrameBufferOut buffer;
    buffer.SetCaps(size.cx, size.cy, 3);
    TakePacket(buffer);
    RECT const screen = {0, 0, size.cx, size.cy};
    RECT const change = {610, 500, 674, 516};
    auto draw = [&](int i) {
        scene.Fill(change, i % 2 ? RGB(30, 30, 30) : RGB(236, 236, 236));
        buffer.Clear();
        buffer.InvalidateRect(screen);
    };
    bool found = true;
    double subject = BestPrepared(draw, [&] { found = TakePacket(buffer) && found; });
    double reference = BestPrepared(draw, [&] { found = baseline.Run() && found; });
    if (!found) {
        std::fprintf(stderr, "small change not found\n");
    }
    PrintMeasurement("SmallChange64x16/24bpp", size.cx * size.cy * 3.0, subject, kBaseline, reference);
}

}  // namespace

int main() {
    ScreenScene scene;
    if (!scene.IsShown()) {
        std::fprintf(stderr, "the scene did not show\n");
        return 1;
    }
    SIZE size = scene.GetSize();
    PaintDesktop(scene);
    {
        FullScreenCompare baseline(size);
        StillScreen(size, baseline);
        SmallChange(scene, size, baseline);
    }
    FullScreenCompare baseline(size);
    FullChange(scene, size, 3, baseline);
    FullChange(scene, size, 2, baseline);
    return 0;
}
