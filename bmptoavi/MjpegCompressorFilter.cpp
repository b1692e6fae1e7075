#include "MjpegCompressorFilter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/JpegEncoder.h"
#include "recording/BmpToAviCodecs.h"

namespace {

constexpr DWORD kFourCC = MAKEFOURCC('M', 'J', 'P', 'G');
constexpr double kDefaultQuality = 0.75;
constexpr int kMaxJpegSide = 65535;
// Well above what a baseline JPEG of the standard tables takes even for noise at quality 100.
constexpr std::size_t kBytesPerPixel = 6;
constexpr std::size_t kHeaderBytes = 65536;

}  // namespace

MjpegCompressorFilter::MjpegCompressorFilter()
    : CompressorFilter(CLSID_BmpToAviMjpeg, kFourCC, 24,
                       Settings{1, kDefaultQuality, CompressionCaps_CanQuality}) {}

std::size_t MjpegCompressorFilter::MaxFrameBytes(int width, int height) const {
    return static_cast<std::size_t>(width) * height * kBytesPerPixel + kHeaderBytes;
}

bool MjpegCompressorFilter::BeginStream(int width, int height, Settings const& settings) {
    mWidth = width;
    mHeight = height;
    mQuality = std::clamp(static_cast<int>(std::lround(settings.quality * 100)), 1, 100);
    return width <= kMaxJpegSide && height <= kMaxJpegSide;
}

bool MjpegCompressorFilter::EncodeFrame(unsigned char const* top, std::ptrdiff_t rowStep, int bitsPerPixel,
                                        std::vector<unsigned char>& out, bool& key) {
    std::size_t rowBytes = static_cast<std::size_t>(mWidth) * (bitsPerPixel / 8);
    unsigned char const* rows = top;
    std::size_t bytesPerLine = static_cast<std::size_t>(rowStep);
    if (rowStep < 0) {
        mRows.resize(rowBytes * mHeight);
        for (int y = 0; y < mHeight; ++y) {
            std::memcpy(&mRows[rowBytes * y], top + rowStep * y, rowBytes);
        }
        rows = mRows.data();
        bytesPerLine = rowBytes;
    }
    out = JpegEncoder::Encode(rows, mWidth, mHeight, bitsPerPixel, bytesPerLine, mQuality);
    key = true;
    return !out.empty();
}

void MjpegCompressorFilter::EndStream() {
    mRows.clear();
    mRows.shrink_to_fit();
}
