#include "config/ConfigParsers.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <string>

#include "foundation/Errors.h"
#include "foundation/StringHelper.h"

namespace {

int ClampToInt(int64_t number) {
    return static_cast<int>(std::clamp<int64_t>(number, INT_MIN, INT_MAX));
}

}  // namespace

bool GenericParser<int>::Parse(std::string const& text, int& value) {
    int64_t number = 0;
    if (!StringHelper::ReadInt64(text.c_str(), number)) {
        return false;
    }
    value = ClampToInt(number);
    return true;
}

std::string GenericParser<int>::Format(int value) {
    return std::to_string(value);
}

bool GenericParser<unsigned int>::Parse(std::string const& text, unsigned int& value) {
    int64_t number = 0;
    if (!StringHelper::ReadInt64(text.c_str(), number) || number < 0) {
        return false;
    }
    value = static_cast<unsigned int>(std::min<int64_t>(number, UINT_MAX));
    return true;
}

std::string GenericParser<unsigned int>::Format(unsigned int value) {
    return std::to_string(value);
}

bool GenericParser<bool>::Parse(std::string const& text, bool& value) {
    int64_t number = 0;
    if (!StringHelper::ReadInt64(text.c_str(), number)) {
        return false;
    }
    value = number != 0;
    return true;
}

std::string GenericParser<bool>::Format(bool value) {
    return value ? "1" : "0";
}

bool GenericParser<ScreenSize>::Parse(std::string const& text, ScreenSize& value) {
    std::size_t x = text.find('x');
    if (x == std::string::npos) {
        Raise(BaseError("Invalid configuration value: " + text));
    }
    value.cx = StringHelper::ToInt(text.substr(0, x).c_str());
    value.cy = StringHelper::ToInt(text.substr(x + 1).c_str());
    return true;
}

std::string GenericParser<ScreenSize>::Format(ScreenSize const& value) {
    return std::to_string(value.cx) + "x" + std::to_string(value.cy);
}

bool GenericParser<std::string>::Parse(std::string const& text, std::string& value) {
    value = text;
    return true;
}
