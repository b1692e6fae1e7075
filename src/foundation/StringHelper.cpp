#include "foundation/StringHelper.h"

namespace {
bool IsKeptAsIs(unsigned char c) { return (c >= 0x20 && c < 0x7f) || c == '\r' || c == '\n'; }
}  // namespace

std::string StringHelper::EscapeAscii(std::string const& text) {
    static char const digits[] = "0123456789abcdef";
    std::string escaped;
    escaped.reserve(text.size());
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            escaped += "\\\\";
        } else if (IsKeptAsIs(c)) {
            escaped += ch;
        } else {
            escaped += "\\x";
            if (c >= 16) {
                escaped += digits[c >> 4];
            }
            escaped += digits[c & 15];
        }
    }
    return escaped;
}
