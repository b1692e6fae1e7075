#pragma once

#include "CompressorFilter.h"

// Motion JPEG: every frame a baseline JPEG of the project's own encoder, so every frame is a
// key frame. The quality is IAMVideoCompression's (0 to 1, libjpeg's scale over 100).
class MjpegCompressorFilter : public CompressorFilter {
public:
    MjpegCompressorFilter();

protected:
    std::size_t MaxFrameBytes(int width, int height) const override;
    bool BeginStream(int width, int height, Settings const& settings) override;
    bool EncodeFrame(unsigned char const* top, std::ptrdiff_t rowStep, int bitsPerPixel,
                     std::vector<unsigned char>& out, bool& key) override;
    void EndStream() override;

private:
    ~MjpegCompressorFilter() override = default;

    int mWidth = 0;
    int mHeight = 0;
    int mQuality = 0;                  // 1 to 100
    std::vector<unsigned char> mRows;  // a bottom-up picture turned top-down
};
