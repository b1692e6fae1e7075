#pragma once

#include <cstdint>

// Smooth resampling of 32-bit BGRA pixels in two separable passes: each target pixel averages
// the source area it covers where a side shrinks, and interpolates linearly between the two
// nearest source pixels where a side grows. Colours are weighted by alpha, so transparent
// pixels do not bleed their colour into opaque ones.
class Resampler {
public:
    // `target` holds targetWidth x targetHeight pixels; all sizes at least 1.
    static void Resample(std::uint32_t const* source, int sourceWidth, int sourceHeight,
                         std::uint32_t* target, int targetWidth, int targetHeight);
};
