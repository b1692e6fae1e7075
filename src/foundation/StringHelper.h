#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Static text helpers shared by the protocol parsers and the messenger's reply parsers.
class StringHelper {
public:
    // A printable copy: a backslash doubles, printable ASCII, CR and LF stay, every other byte
    // becomes "\x" + lower-case hex without leading zeros.
    static std::string EscapeAscii(std::string const& text);
    // Text safe inside an HTML element or a quoted attribute: & < > " ' become entities.
    static std::string EscapeHtml(std::string const& text);

    // The frame checksum: the exclusive-or of text[1..] up to the first NUL, each byte taken as
    // signed char (so an odd count of bytes >= 0x80 makes it negative). 0 for texts shorter than 2.
    static int CheckSum(char const* text);
    // The low 8 bits of CheckSum as two upper-case hex digits.
    static std::string CheckSumFormat(std::string const& text);
    static std::string CheckSumFormat(char const* text);

    // Appends to `fields` the pieces of `text` between runs of any of `delimiters`. Never
    // appends an empty piece; `keepEmpty` is accepted for callers and has no effect.
    static void Split(std::string const& text, std::vector<std::string>& fields,
                      std::string const& delimiters, bool keepEmpty = false);
    // Appends the pieces of `text` between occurrences of the whole `delimiter`; empty pieces
    // only when `keepEmpty` is true.
    static void SplitString(std::string const& text, std::string const& delimiter,
                            std::vector<std::string>& fields, bool keepEmpty = false);
    // Takes up to `count` fields ended by `separator` off the NUL-terminated `text` (empty
    // fields count; a last field may end at the NUL). Returns where the unparsed rest starts
    // when `parts` then holds exactly `count` strings, else null. Pass an empty `parts`.
    static char const* GetParts(char const* text, unsigned int count, std::vector<std::string>& parts,
                                char separator);
    // Matches `text` against `pattern`, whose "*" stand for any run of characters, and appends
    // what each "*" covered to `captures` (trimmed of blanks, CR, LF and tabs when `trim` is
    // true). Text after the last literal piece is not checked unless the pattern ends with "*".
    // On a mismatch `captures` is cleared. `unused` has no effect.
    static bool WildcardMatch(std::string const& text, std::string const& pattern,
                              std::vector<std::string>& captures, bool trim = true, bool unused = false);
    // Removes every character of `characters` from the front, then from the back.
    static void Trim(std::string& text, std::string const& characters);
    static std::string Trim(std::string const& text, std::string const& characters);

    // The wide form of a messenger text (UTF-8, else the system code page). Logs and returns
    // "<invalid string>" when the text cannot be converted.
    static std::wstring StrToWstr(std::string const& text, bool utf8 = true);

    // Protocol numbers: optional blanks and sign, then leading decimal digits; 0 when there
    // are none. Out-of-range values saturate instead of being undefined.
    static int ToInt(char const* text);
    static int64_t ToInt64(char const* text);
    // The same rule, telling whether the text began with a number at all.
    static bool ReadInt64(char const* text, int64_t& value);
};
