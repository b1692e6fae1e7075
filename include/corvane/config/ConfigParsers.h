#pragma once

#include <string>

#include "CorvaneApi.h"
#include "foundation/ScreenSize.h"

// Text forms of the setting types. Parse() returns false and leaves `value` alone when the
// text does not begin with a number; only the size parser raises.
template <class T>
struct GenericParser;

template <>
struct CORVANE_API GenericParser<int> {
    static bool Parse(std::string const& text, int& value);
    static std::string Format(int value);
};

template <>
struct CORVANE_API GenericParser<unsigned int> {
    // Negative numbers are not read: the value stays.
    static bool Parse(std::string const& text, unsigned int& value);
    static std::string Format(unsigned int value);
};

// "1" and "0"; any other number reads as true.
template <>
struct CORVANE_API GenericParser<bool> {
    static bool Parse(std::string const& text, bool& value);
    static std::string Format(bool value);
};

// Width "x" height, as 800x600. Raises BaseError "Invalid configuration value: <text>" when
// there is no "x"; a side that is not a number reads as 0.
template <>
struct CORVANE_API GenericParser<ScreenSize> {
    static bool Parse(std::string const& text, ScreenSize& value);
    static std::string Format(ScreenSize const& value);
};

template <>
struct CORVANE_API GenericParser<std::string> {
    static bool Parse(std::string const& text, std::string& value);
    static std::string Format(std::string const& value) { return value; }
};
