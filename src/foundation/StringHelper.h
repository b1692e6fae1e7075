#pragma once

#include <string>

// Static text helpers.
class StringHelper {
public:
    // A printable copy: a backslash doubles, printable ASCII, CR and LF stay, every other byte
    // becomes "\x" + lower-case hex without leading zeros.
    static std::string EscapeAscii(std::string const& text);
};
