#include "ZmbvCompressorFilter.h"

#include <new>

#include "recording/BmpToAviCodecs.h"

namespace {

constexpr DWORD kFourCC = MAKEFOURCC('Z', 'M', 'B', 'V');
// zlib's fastest level: the frames between key frames are small, and a key frame must not
// hold up the recording's writer.
constexpr int kLevel = 1;

}  // namespace

ZmbvCompressorFilter::ZmbvCompressorFilter()
    : CompressorFilter(CLSID_BmpToAviZmbv, kFourCC, 32, Settings{0, 1.0, CompressionCaps_CanKeyFrame}) {}

std::size_t ZmbvCompressorFilter::MaxFrameBytes(int width, int height) const {
    return ZmbvEncoder::MaxFrameBytes(width, height);
}

bool ZmbvCompressorFilter::BeginStream(int width, int height, Settings const& settings) {
    try {
        mEncoder = std::make_unique<ZmbvEncoder>(width, height, settings.keyFrameRate, kLevel);
    } catch (std::bad_alloc const&) {
        mEncoder.reset();
    }
    return mEncoder != nullptr;
}

bool ZmbvCompressorFilter::EncodeFrame(unsigned char const* top, std::ptrdiff_t rowStep, int bitsPerPixel,
                                       std::vector<unsigned char>& out, bool& key) {
    return mEncoder && mEncoder->Encode(top, rowStep, bitsPerPixel, out, key);
}

void ZmbvCompressorFilter::EndStream() {
    mEncoder.reset();
}
