#include "foundation/StringHelper.h"

#include <windows.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "foundation/CorvaneLogging.h"
#include "foundation/Errors.h"

namespace {

bool IsKeptAsIs(unsigned char c) {
    return (c >= 0x20 && c < 0x7f) || c == '\r' || c == '\n';
}

char const kBlanks[] = " \r\t\n";

void AppendCapture(std::vector<std::string>& captures, std::string capture, bool trim) {
    if (trim) {
        StringHelper::Trim(capture, kBlanks);
    }
    captures.push_back(std::move(capture));
}

}  // namespace

std::string StringHelper::EscapeHtml(std::string const& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char ch : text) {
        switch (ch) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            default:
                escaped += ch;
        }
    }
    return escaped;
}

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

int StringHelper::CheckSum(char const* text) {
    std::size_t length = std::strlen(text);
    if (length < 2) {
        return 0;
    }
    // Eight bytes at a time: frames of screen updates are megabytes long.
    char const* p = text + 1;
    char const* end = text + length;
    uint64_t words = 0;
    for (; end - p >= 8; p += 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        words ^= word;
    }
    unsigned char sum = 0;
    for (int shift = 0; shift < 64; shift += 8) {
        sum ^= static_cast<unsigned char>(words >> shift);
    }
    for (; p < end; ++p) {
        sum ^= static_cast<unsigned char>(*p);
    }
    // Widening every byte with its sign sets bits 8-31 exactly when an odd number of the
    // bytes are 0x80 or above, which is bit 7 of their exclusive-or.
    return static_cast<signed char>(sum);
}

std::string StringHelper::CheckSumFormat(std::string const& text) {
    return CheckSumFormat(text.c_str());
}

std::string StringHelper::CheckSumFormat(char const* text) {
    static char const digits[] = "0123456789ABCDEF";
    unsigned value = static_cast<unsigned>(CheckSum(text)) & 0xff;
    return {digits[value >> 4], digits[value & 15]};
}

void StringHelper::Split(std::string const& text, std::vector<std::string>& fields,
                         std::string const& delimiters, bool /*keepEmpty*/) {
    std::size_t start = text.find_first_not_of(delimiters);
    while (start != std::string::npos) {
        std::size_t end = text.find_first_of(delimiters, start);
        fields.push_back(text.substr(start, end - start));
        start = text.find_first_not_of(delimiters, end);
    }
}

void StringHelper::SplitString(std::string const& text, std::string const& delimiter,
                               std::vector<std::string>& fields, bool keepEmpty) {
    if (text.empty() || delimiter.empty()) {
        if (keepEmpty || !text.empty()) {
            fields.push_back(text);
        }
        return;
    }
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find(delimiter, start);
        std::string field = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (keepEmpty || !field.empty()) {
            fields.push_back(std::move(field));
        }
        if (end == std::string::npos) {
            return;
        }
        start = end + delimiter.size();
    }
}

char const* StringHelper::GetParts(char const* text, unsigned int count, std::vector<std::string>& parts,
                                   char separator) {
    char const* rest = text;
    for (unsigned int i = 0; i < count; ++i) {
        char const* end = std::strchr(rest, separator);
        if (end == nullptr || separator == '\0') {
            parts.emplace_back(rest);
            return parts.size() == count ? rest + std::strlen(rest) : nullptr;
        }
        parts.emplace_back(rest, end);
        rest = end + 1;
    }
    return parts.size() == count ? rest : nullptr;
}

bool StringHelper::WildcardMatch(std::string const& text, std::string const& pattern,
                                 std::vector<std::string>& captures, bool trim, bool /*unused*/) {
    std::vector<std::string> pieces;
    Split(pattern, pieces, "*");
    bool anchored = !pattern.empty() && pattern.front() != '*';
    std::size_t position = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        std::size_t found = text.find(pieces[i], position);
        if (found == std::string::npos || (i == 0 && anchored && found != 0)) {
            captures.clear();
            return false;
        }
        if (!(i == 0 && anchored)) {
            AppendCapture(captures, text.substr(position, found - position), trim);
        }
        position = found + pieces[i].size();
    }
    if (!pattern.empty() && pattern.back() == '*') {
        AppendCapture(captures, text.substr(position), trim);
    }
    return true;
}

void StringHelper::Trim(std::string& text, std::string const& characters) {
    text.erase(0, text.find_first_not_of(characters));
    std::size_t last = text.find_last_not_of(characters);
    text.erase(last == std::string::npos ? 0 : last + 1);
}

std::string StringHelper::Trim(std::string const& text, std::string const& characters) {
    std::string copy = text;
    Trim(copy, characters);
    return copy;
}

std::wstring StringHelper::StrToWstr(std::string const& text, bool utf8) {
    UINT codePage = utf8 ? CP_UTF8 : CP_ACP;
    DWORD flags = utf8 ? 0 : MB_PRECOMPOSED;
    // The terminating NUL goes along, so that an empty text converts too.
    int length = text.size() < INT_MAX ? static_cast<int>(text.size()) + 1 : 0;
    int wideLength = length ? MultiByteToWideChar(codePage, flags, text.c_str(), length, nullptr, 0) : 0;
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    if (wideLength == 0 ||
        MultiByteToWideChar(codePage, flags, text.c_str(), length, &wide[0], wideLength) != wideLength) {
        DWORD error = GetLastError();
        CORVANE_LOG("Cannot convert Skype text `" << text
                                                  << "` to Unicode: " << GetSystemErrorDescription(error));
        return L"<invalid string>";
    }
    wide.erase(wide.find_last_not_of(L'\0') + 1);
    return wide;
}

int StringHelper::ToInt(char const* text) {
    long value = std::strtol(text, nullptr, 10);
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

int64_t StringHelper::ToInt64(char const* text) {
    return std::strtoll(text, nullptr, 10);
}

bool StringHelper::ReadInt64(char const* text, int64_t& value) {
    char* end = nullptr;
    long long number = std::strtoll(text, &end, 10);
    if (end == text) {
        return false;
    }
    value = number;
    return true;
}
