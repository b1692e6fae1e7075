// Building and reading screen change messages for one whole desktop-like frame at every
// colour depth: bytes on the wire and megapixels per second. The JPEG path is measured against
// WIC's own JPEG encoder on the same pixels; the other paths against the step they stand on
// (zlib for the raw packet, WIC's PNG encoder for the pictures of depths 4 and 1). Then the raw
// path's zlib levels (ZlibLevels.cpp).

#include <wincodec.h>
#include <zlib.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "DesktopFrame.h"
#include "ZlibLevels.h"
#include "codec/ScreenDecoder.h"
#include "codec/ScreenEncoder.h"
#include "imaging/Picture.h"
#include "imaging/WicCodec.h"
#include "network/SkypeCoder.h"

namespace {

using Bytes = std::vector<unsigned char>;

constexpr int kRepeats = 7;
constexpr int kJpegQuality = 75;
constexpr double kPixels = static_cast<double>(DesktopFrame::kWidth) * DesktopFrame::kHeight;
constexpr tagSIZE kFrame = {DesktopFrame::kWidth, DesktopFrame::kHeight};

struct Case {
    char const* label;
    unsigned char colorDepth;
    bool useJpeg;
};

// One rectangle covering the frame, as the grabbing frame buffer sends a full screen.
Bytes FramePacket(Bytes const& pixels) {
    Bytes packet = {1, 0, 0, 0, 0, 0, 0, 0};
    for (int side : {DesktopFrame::kWidth, DesktopFrame::kHeight}) {
        packet.push_back(static_cast<unsigned char>(side));
        packet.push_back(static_cast<unsigned char>(side >> 8));
    }
    packet.insert(packet.end(), pixels.begin(), pixels.end());
    return packet;
}

// The frame as 24-bit B, G, R rows: what the packet's pixels look like.
Bytes AsBgr24(Bytes const& pixels, int bitsPerPixel) {
    return Picture::FromPixels(pixels.data(), DesktopFrame::kWidth, DesktopFrame::kHeight, bitsPerPixel,
                               pixels.size() / DesktopFrame::kHeight)
        .GetBgr24();
}

Bytes WicEncode(GUID const& container, Bytes const& bgr) {
    return WicCodec::Encode(container, bgr.data(), DesktopFrame::kWidth, DesktopFrame::kHeight,
                            DesktopFrame::kWidth * 3, GUID_WICPixelFormat24bppBGR, {});
}

void Print(std::string const& name, double seconds, std::string const& baseline, double baselineSeconds,
           std::size_t wireBytes) {
    std::printf(
        "{\"name\": \"%s\", \"bytes\": %.0f, \"seconds\": %.6f, \"rate\": %.4g, \"baseline\": \"%s\", "
        "\"baseline_rate\": %.4g, \"ratio\": %.4f, \"unit\": \"pixels\", \"megapixels_per_second\": %.2f, "
        "\"wire_bytes\": %zu}\n",
        name.c_str(), kPixels, seconds, kPixels / seconds, baseline.c_str(), kPixels / baselineSeconds,
        baselineSeconds / seconds, kPixels / seconds / 1e6, wireBytes);
    std::fflush(stdout);
}

void BenchCase(Case const& c, std::vector<DesktopFrame::Rgb> const& desktop) {
    int bits = c.colorDepth <= 4 ? 24 : c.colorDepth;
    Bytes const pixels = DesktopFrame::Pack(desktop, bits);
    Bytes const packet = FramePacket(pixels);
    auto const size = static_cast<unsigned long>(packet.size());
    Bytes const bgr = AsBgr24(pixels, bits);
    bool pictures = (c.useJpeg && c.colorDepth != 16) || c.colorDepth <= 4;
    bool jpeg = pictures && c.colorDepth > 4;
    std::string const name = std::string("ScreenChange/") + c.label;

    std::unique_ptr<ScreenChangeNetMsg> message;
    Bytes compressed(compressBound(size));
    auto build = [&] {
        message.reset(new ScreenChangeNetMsg(
            ScreenEncoder::Encode(packet.data(), size, kFrame, 0, {c.colorDepth, c.useJpeg, kJpegQuality})));
    };
    auto baseline = [&] {
        if (pictures) {
            WicEncode(jpeg ? GUID_ContainerFormatJpeg : GUID_ContainerFormatPng, bgr);
        } else {
            uLongf compressedSize = static_cast<uLongf>(compressed.size());
            compress2(compressed.data(), &compressedSize, packet.data(), size, Z_BEST_COMPRESSION);
        }
    };
    BenchTimes built = CompareBest(kRepeats, build, baseline);
    std::string const frame = message->ToString();
    std::string const baselineName = jpeg       ? "WIC JPEG encoder"
                                     : pictures ? "WIC PNG encoder"
                                                : "compress2 level 9";
    Print(name + "/build", built.subject, baselineName, built.baseline, frame.size());

    // Reading, against the decoder it ends in: WIC for the picture, zlib for the raw packet.
    std::string const data = message->GetData();
    std::unique_ptr<NetworkMessage> parsed;
    // What the viewer does with a message: read it, then decode it.
    auto parse = [&] {
        parsed.reset(NetworkMessage::ParseFactory(ScreenChangeNetMsg::mId, data.c_str()));
        ScreenDecoder::Decode(static_cast<ScreenChangeNetMsg const&>(*parsed));
    };
    parse();
    auto const& received = static_cast<ScreenChangeNetMsg const&>(*parsed);
    Bytes list;  // the packet, or the picture list
    DecodeAndUncompress(list, received.GetEncodedData().c_str(), received.GetUncompressedSize());
    Bytes inflated(size);
    uLongf compressedSize = static_cast<uLongf>(compressed.size());
    compress2(compressed.data(), &compressedSize, packet.data(), size, Z_BEST_COMPRESSION);
    BenchTimes read = CompareBest(kRepeats, parse, [&] {
        if (pictures) {
            Picture::Decode(list.data() + 12, list[8] | list[9] << 8 | list[10] << 16 | list[11] << 24);
        } else {
            uLongf inflatedSize = size;
            uncompress(inflated.data(), &inflatedSize, compressed.data(), compressedSize);
        }
    });
    Print(name + "/parse", read.subject, pictures ? "WIC decoder" : "uncompress", read.baseline,
          frame.size());

    if (jpeg) {
        // The encoder alone, straight from the packed pixels, against WIC on the same pixels.
        BenchTimes encoded = CompareBest(
            kRepeats,
            [&] {
                Picture::EncodeJpeg(pixels.data(), DesktopFrame::kWidth, DesktopFrame::kHeight, bits,
                                    pixels.size() / DesktopFrame::kHeight, kJpegQuality);
            },
            [&] { WicEncode(GUID_ContainerFormatJpeg, bgr); });
        Print(std::string("JpegEncode/") + c.label, encoded.subject, "WIC JPEG encoder", encoded.baseline,
              Picture::EncodeJpeg(pixels.data(), DesktopFrame::kWidth, DesktopFrame::kHeight, bits,
                                  pixels.size() / DesktopFrame::kHeight, kJpegQuality)
                  .size());
    }
}

}  // namespace

int main() {
    std::vector<DesktopFrame::Rgb> const desktop = DesktopFrame::Make();
    Case const cases[] = {{"24bpp-jpeg75", 24, true},
                          {"16bpp-raw", 16, true},
                          {"8bpp-jpeg75", 8, true},
                          {"4bpp-png", 4, false},
                          {"1bpp-png", 1, false}};
    for (Case const& c : cases) {
        BenchCase(c, desktop);
    }
    BenchZlibLevels();
    return 0;
}
