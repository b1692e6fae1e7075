#include "imaging/Resampler.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace {

// The source pixels one target pixel is made of along one axis.
struct Span {
    int first;
    std::vector<float> weights;  // sum to 1
};

Span ShrinkSpan(int index, double scale) {
    double start = index * scale;
    double end = start + scale;
    Span span{static_cast<int>(std::floor(start)), {}};
    for (int source = span.first; source < end; ++source) {
        double covered = std::min<double>(end, source + 1) - std::max<double>(start, source);
        span.weights.push_back(static_cast<float>(covered / scale));
    }
    return span;
}

Span GrowSpan(int index, double scale, int sourceSize) {
    double centre = std::clamp((index + 0.5) * scale - 0.5, 0.0, sourceSize - 1.0);
    Span span{static_cast<int>(centre), {}};
    auto fraction = static_cast<float>(centre - span.first);
    span.weights.push_back(1.0f - fraction);
    if (span.first + 1 < sourceSize) {
        span.weights.push_back(fraction);
    }
    return span;
}

std::vector<Span> Spans(int sourceSize, int targetSize) {
    double scale = static_cast<double>(sourceSize) / targetSize;
    std::vector<Span> spans;
    spans.reserve(targetSize);
    for (int i = 0; i < targetSize; ++i) {
        spans.push_back(targetSize < sourceSize ? ShrinkSpan(i, scale) : GrowSpan(i, scale, sourceSize));
    }
    // Rounding may reach one past the last source pixel with a weight of about 0.
    for (Span& span : spans) {
        span.weights.resize(std::min<std::size_t>(span.weights.size(), sourceSize - span.first));
    }
    return spans;
}

// Alpha-weighted colour: B, G, R multiplied by alpha, then alpha.
struct Weighted {
    float b, g, r, a;
};

Weighted FromPixel(std::uint32_t pixel) {
    float a = static_cast<float>(pixel >> 24);
    return {(pixel & 0xFF) * a, (pixel >> 8 & 0xFF) * a, (pixel >> 16 & 0xFF) * a, a};
}

std::uint32_t ToPixel(Weighted const& value) {
    auto channel = [&](float weighted) {
        long level = value.a > 0 ? std::lround(weighted / value.a) : 0;
        return static_cast<std::uint32_t>(std::clamp(level, 0L, 255L));
    };
    auto alpha = static_cast<std::uint32_t>(std::clamp(std::lround(value.a), 0L, 255L));
    return channel(value.b) | channel(value.g) << 8 | channel(value.r) << 16 | alpha << 24;
}

// One pass along rows (step 1) or columns (step = width) of `count` lines.
void Pass(Weighted const* source, std::size_t sourceStep, std::size_t sourceLineStep, Weighted* target,
          std::size_t targetStep, std::size_t targetLineStep, int lines, std::vector<Span> const& spans) {
    for (int line = 0; line < lines; ++line) {
        Weighted const* in = source + line * sourceLineStep;
        Weighted* out = target + line * targetLineStep;
        for (std::size_t i = 0; i < spans.size(); ++i) {
            Weighted sum{0, 0, 0, 0};
            Span const& span = spans[i];
            for (std::size_t k = 0; k < span.weights.size(); ++k) {
                Weighted const& pixel = in[(span.first + k) * sourceStep];
                float weight = span.weights[k];
                sum.b += pixel.b * weight;
                sum.g += pixel.g * weight;
                sum.r += pixel.r * weight;
                sum.a += pixel.a * weight;
            }
            out[i * targetStep] = sum;
        }
    }
}

}  // namespace

void Resampler::Resample(std::uint32_t const* source, int sourceWidth, int sourceHeight,
                         std::uint32_t* target, int targetWidth, int targetHeight) {
    std::vector<Weighted> weighted(static_cast<std::size_t>(sourceWidth) * sourceHeight);
    std::transform(source, source + weighted.size(), weighted.begin(), FromPixel);

    std::vector<Weighted> rows(static_cast<std::size_t>(targetWidth) * sourceHeight);
    Pass(weighted.data(), 1, sourceWidth, rows.data(), 1, targetWidth, sourceHeight,
         Spans(sourceWidth, targetWidth));
    weighted = std::vector<Weighted>(static_cast<std::size_t>(targetWidth) * targetHeight);
    Pass(rows.data(), targetWidth, 1, weighted.data(), targetWidth, 1, targetWidth,
         Spans(sourceHeight, targetHeight));

    std::transform(weighted.begin(), weighted.end(), target, ToPixel);
}
