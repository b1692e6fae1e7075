#pragma once

#include <algorithm>

// Validators turn a parsed value into the value a setting keeps.

template <class T>
struct GenericValidator {
    static T Validate(T const& value) { return value; }
};

// Colour depths go up to 24 bits per pixel.
struct ColorDepthValidator {
    static constexpr unsigned int kMaxColorDepth = 24;
    static unsigned int Validate(unsigned int value) { return std::min(value, kMaxColorDepth); }
};
