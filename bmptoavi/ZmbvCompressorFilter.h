#pragma once

// The DirectShow headers first: they rename the wide printf functions that <memory> brings.
#include "CompressorFilter.h"

#include <memory>

#include "ZmbvEncoder.h"

// The lossless screen compressor: ZMBV at 32 bits, a key frame every few seconds (the
// IAMVideoCompression key-frame rate where set).
class ZmbvCompressorFilter : public CompressorFilter {
public:
    ZmbvCompressorFilter();

protected:
    std::size_t MaxFrameBytes(int width, int height) const override;
    bool BeginStream(int width, int height, Settings const& settings) override;
    bool EncodeFrame(unsigned char const* top, std::ptrdiff_t rowStep, int bitsPerPixel,
                     std::vector<unsigned char>& out, bool& key) override;
    void EndStream() override;

private:
    ~ZmbvCompressorFilter() override = default;

    std::unique_ptr<ZmbvEncoder> mEncoder;  // while a stream runs
};
