// Throughput of the binary payload path (zlib plus the escape coding) against zlib alone,
// and of framing plus frame checking against a plain copy.

#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "BenchReport.h"
#include "DesktopFrame.h"
#include "network/NetworkMessage.h"
#include "network/SkypeCoder.h"

namespace {

using Bytes = std::vector<unsigned char>;

void BenchCoding(std::string const& label, Bytes const& screen) {
    auto size = static_cast<unsigned>(screen.size());
    Bytes compressed(compressBound(size));
    uLongf compressedSize = 0;
    std::string encoded;
    BenchTimes compress = CompareBest(
        5, [&] { encoded = CompressAndEncode(screen.data(), size); },
        [&] {
            compressedSize = static_cast<uLongf>(compressed.size());
            compress2(compressed.data(), &compressedSize, screen.data(), size, Z_BEST_COMPRESSION);
        });
    PrintMeasurement("CompressAndEncode/" + label, size, compress.subject, "compress2 level 9",
                     compress.baseline);

    Bytes decoded;
    Bytes inflated(size);
    BenchTimes uncompressTimes = CompareBest(
        60, [&] { DecodeAndUncompress(decoded, encoded.c_str(), size); },
        [&] {
            uLongf inflatedSize = size;
            uncompress(inflated.data(), &inflatedSize, compressed.data(), compressedSize);
        });
    PrintMeasurement("DecodeAndUncompress/" + label, size, uncompressTimes.subject, "uncompress",
                     uncompressTimes.baseline);
    if (decoded != screen || inflated != screen) {
        std::fprintf(stderr, "%s: the data did not come back unchanged\n", label.c_str());
    }
}

void BenchFraming() {
    std::mt19937 random(1024);
    std::string payload(1 << 20, ' ');
    for (char& c : payload) {
        c = static_cast<char>(1 + random() % 255);  // anything but NUL
    }
    std::vector<char> copy(payload.size());
    volatile char sink = 0;
    BenchTimes times = CompareBest(
        50,
        [&] {
            std::string frame = NetworkMessage::ToString(12, payload);
            int id = 0;
            sink = *NetworkMessage::ParseResponse(frame.c_str(), id);
        },
        [&] {
            std::memcpy(copy.data(), payload.data(), payload.size());
            sink = copy[random() % copy.size()];
        });
    PrintMeasurement("ToString+ParseResponse/1MB", static_cast<double>(payload.size()), times.subject,
                     "memcpy", times.baseline);
}

}  // namespace

int main() {
    std::vector<DesktopFrame::Rgb> desktop = DesktopFrame::Make();
    BenchCoding("16bpp", DesktopFrame::Pack(desktop, 16));
    BenchCoding("24bpp", DesktopFrame::Pack(desktop, 24));
    BenchFraming();
    return 0;
}
