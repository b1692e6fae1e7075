// Drawing received frames into the viewer's surface, in pixels per second, against a plain
// SetDIBitsToDevice of the same desktop-like frame at 24 bits into the same context: raw
// packets at 24, 16 and 8 bits (one frame-sized rectangle; the grabbing sharer's first frame,
// one pixel short at the right and bottom, whose rows need padding; 64 x 64 tiles as a mirror
// driver sends them), and the decoded pictures of a JPEG message.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "DesktopFrame.h"
#include "capture/ScreenGrab.h"
#include "codec/ScreenDecoder.h"
#include "codec/ScreenEncoder.h"
#include "imaging/Picture.h"
#include "viewer/RemoteScreenSurface.h"

namespace {

using Bytes = std::vector<unsigned char>;

constexpr int kRepeats = 15;
constexpr int kJpegQuality = 75;
constexpr long kWidth = DesktopFrame::kWidth;
constexpr long kHeight = DesktopFrame::kHeight;
char const kBaseline[] = "SetDIBitsToDevice 24bpp";

void AppendRecord(Bytes& packet, RECT const& rect, Bytes const& frame, int bytesPerPixel) {
    for (long edge : {rect.left, rect.top, rect.right, rect.bottom}) {
        packet.push_back(static_cast<unsigned char>(edge));
        packet.push_back(static_cast<unsigned char>(edge >> 8));
    }
    std::size_t row = std::size_t(rect.right - rect.left) * bytesPerPixel;
    for (long y = rect.top; y < rect.bottom; ++y) {
        auto from = frame.begin() + (std::size_t(y) * kWidth + rect.left) * bytesPerPixel;
        packet.insert(packet.end(), from, from + row);
    }
}

// A packet of `rects` cut from the packed frame.
Bytes MakePacket(std::vector<RECT> const& rects, Bytes const& frame, int bytesPerPixel) {
    auto count = static_cast<std::uint32_t>(rects.size());
    Bytes packet;
    for (int shift = 0; shift < 32; shift += 8) {
        packet.push_back(static_cast<unsigned char>(count >> shift));
    }
    for (RECT const& rect : rects) {
        AppendRecord(packet, rect, frame, bytesPerPixel);
    }
    return packet;
}

std::vector<RECT> Tiles(long side) {
    std::vector<RECT> tiles;
    for (long y = 0; y < kHeight; y += side) {
        for (long x = 0; x < kWidth; x += side) {
            tiles.push_back(RECT{x, y, std::min(x + side, kWidth), std::min(y + side, kHeight)});
        }
    }
    return tiles;
}

void Print(std::string const& name, double pixels, BenchTimes const& times) {
    double rate = pixels / times.subject;
    double baselineRate = pixels / times.baseline;
    std::printf(
        "{\"name\": \"%s\", \"bytes\": %.0f, \"unit\": \"pixels\", \"seconds\": %.6f, \"rate\": %.4g, "
        "\"baseline\": \"%s\", \"baseline_rate\": %.4g, \"ratio\": %.4f, \"megapixels_per_second\": %.1f, "
        "\"baseline_megapixels_per_second\": %.1f}\n",
        name.c_str(), pixels, times.subject, rate, kBaseline, baselineRate, rate / baselineRate, rate / 1e6,
        baselineRate / 1e6);
    std::fflush(stdout);
}

class ViewingBench {
public:
    ViewingBench() : mDesktop(DesktopFrame::Make()), mBgr(DesktopFrame::Pack(mDesktop, 24)) {
        if (!mSurface.Resize(SIZE{kWidth, kHeight})) {
            std::fprintf(stderr, "cannot make the surface\n");
            std::exit(1);
        }
    }

    // The baseline: the whole 24-bit frame in one call, rows already DIB rows.
    void Baseline() {
        BITMAPINFO info = ScreenGrab::TopDownInfo(kWidth, kHeight, 24);
        SetDIBitsToDevice(mSurface.GetDC(), 0, 0, kWidth, kHeight, 0, 0, 0, kHeight, mBgr.data(), &info,
                          DIB_RGB_COLORS);
        GdiFlush();
    }

    void Packet(std::string const& label, int bits, std::vector<RECT> const& rects) {
        int bytesPerPixel = bits / 8;
        Bytes const packet = MakePacket(rects, DesktopFrame::Pack(mDesktop, bits), bytesPerPixel);
        double pixels = 0;
        for (RECT const& rect : rects) {
            pixels += double(rect.right - rect.left) * (rect.bottom - rect.top);
        }
        auto const size = static_cast<unsigned long>(packet.size());
        BenchTimes times = CompareBest(
            kRepeats, [&] { DeleteObject(mSurface.DrawPacket(packet.data(), size, bytesPerPixel)); },
            [&] { Baseline(); });
        Print("DrawPacket/" + std::to_string(bits) + "bpp-" + label, pixels, times);
    }

    // The pictures of a received JPEG message of the whole frame.
    void Pictures() {
        Bytes const packet = MakePacket({RECT{0, 0, kWidth, kHeight}}, mBgr, 3);
        ScreenChangeNetMsg const sent =
            ScreenEncoder::Encode(packet.data(), static_cast<unsigned long>(packet.size()),
                                  tagSIZE{kWidth, kHeight}, 0, {24, true, kJpegQuality});
        std::string const data = sent.GetData();
        std::unique_ptr<NetworkMessage> parsed(
            NetworkMessage::ParseFactory(ScreenChangeNetMsg::mId, data.c_str()));
        ScreenDecoder::Change const received =
            ScreenDecoder::Decode(static_cast<ScreenChangeNetMsg const&>(*parsed));
        BenchTimes times = CompareBest(
            kRepeats,
            [&] {
                HRGN region = nullptr;
                for (ScreenDecoder::JpegImageInfo const& picture : received.pictures) {
                    mSurface.DrawPicture(*picture.image, picture.rect, region);
                }
                DeleteObject(region);
            },
            [&] { Baseline(); });
        Print("DrawPictures/24bpp-jpeg75", double(kWidth) * kHeight, times);
    }

private:
    std::vector<DesktopFrame::Rgb> const mDesktop;
    Bytes const mBgr;
    RemoteScreenSurface mSurface;
};

}  // namespace

int main() {
    ViewingBench bench;
    std::vector<RECT> const frame = {RECT{0, 0, kWidth, kHeight}};
    std::vector<RECT> const grabbed = {RECT{0, 0, kWidth - 1, kHeight - 1}};
    for (int bits : {24, 16, 8}) {
        bench.Packet("frame", bits, frame);
        bench.Packet("grabbed", bits, grabbed);
        bench.Packet("tiles64", bits, Tiles(64));
    }
    bench.Pictures();
    return 0;
}
