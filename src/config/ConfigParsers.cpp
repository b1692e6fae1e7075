#include "config/ConfigParsers.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <string>

#include "foundation/Errors.h"

namespace {

// Blanks, an optional sign, then decimal digits; false when there are no digits. Saturates
// instead of overflowing, so a long run of digits cannot wrap to a small or negative value.
bool ReadLeadingNumber(std::string const& text, long long& number) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        ++i;
    }
    constexpr long long kLimit = 1LL << 40;  // far beyond 32 bits, far from overflow
    long long magnitude = 0;
    std::size_t first = i;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        magnitude = std::min(magnitude * 10 + (text[i] - '0'), kLimit);
    }
    if (i == first) {
        return false;
    }
    number = negative ? -magnitude : magnitude;
    return true;
}

int ClampToInt(long long number) {
    return static_cast<int>(std::clamp<long long>(number, INT_MIN, INT_MAX));
}

// The leading-digits rule: 0 when the text does not begin with a number.
int LeadingInt(std::string const& text) {
    long long number = 0;
    ReadLeadingNumber(text, number);
    return ClampToInt(number);
}

}  // namespace

bool GenericParser<int>::Parse(std::string const& text, int& value) {
    long long number = 0;
    if (!ReadLeadingNumber(text, number)) {
        return false;
    }
    value = ClampToInt(number);
    return true;
}

std::string GenericParser<int>::Format(int value) {
    return std::to_string(value);
}

bool GenericParser<unsigned int>::Parse(std::string const& text, unsigned int& value) {
    long long number = 0;
    if (!ReadLeadingNumber(text, number) || number < 0) {
        return false;
    }
    value = static_cast<unsigned int>(std::min<long long>(number, UINT_MAX));
    return true;
}

std::string GenericParser<unsigned int>::Format(unsigned int value) {
    return std::to_string(value);
}

bool GenericParser<bool>::Parse(std::string const& text, bool& value) {
    long long number = 0;
    if (!ReadLeadingNumber(text, number)) {
        return false;
    }
    value = number != 0;
    return true;
}

std::string GenericParser<bool>::Format(bool value) {
    return value ? "1" : "0";
}

bool GenericParser<tagSIZE>::Parse(std::string const& text, tagSIZE& value) {
    std::size_t x = text.find('x');
    if (x == std::string::npos) {
        Raise(BaseError("Invalid configuration value: " + text));
    }
    value.cx = LeadingInt(text.substr(0, x));
    value.cy = LeadingInt(text.substr(x + 1));
    return true;
}

std::string GenericParser<tagSIZE>::Format(tagSIZE const& value) {
    return std::to_string(value.cx) + "x" + std::to_string(value.cy);
}

bool GenericParser<std::string>::Parse(std::string const& text, std::string& value) {
    value = text;
    return true;
}
