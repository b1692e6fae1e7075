#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>

#include "foundation/StringHelper.h"

namespace {

using Fields = std::vector<std::string>;

TEST(StringHelperTest, EscapeAsciiKeepsPrintableTextAndLineBreaks) {
    struct Case {
        std::string text;
        std::string escaped;
    };
    Case const cases[] = {
        {"plain text 123 ~!", "plain text 123 ~!"},
        {"a\\x9", "a\\\\x9"},
        {"line\r\nnext\t", "line\r\nnext\\x9"},
        {std::string("\x01\x00\x7f", 3), "\\x1\\x0\\x7f"},
        {"\x10\xff", "\\x10\\xff"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.escaped);
        EXPECT_EQ(StringHelper::EscapeAscii(c.text), c.escaped);
    }
}

TEST(StringHelperTest, CheckSumLeavesOutTheFirstCharacterAndKeepsTheSign) {
    struct Case {
        std::string text;
        int sum;
        std::string formatted;
    };
    Case const cases[] = {
        {"", 0, "00"},
        {"\xff", 0, "00"},
        {"16,3,5:7", 0x3d, "3D"},
        {"26,3,5:7", 0x3d, "3D"},
        {"x\x80", -128, "80"},
        {"x\xff", -1, "FF"},
        {"x\x80\x81", 0x01, "01"},
        {"x" + std::string(20, '\x80') + "A", 0x41, "41"},
        {"x" + std::string(21, '\x80') + "A", -63, "C1"},
        {"x" + std::string(37, '\x13') + "\x81", -110, "92"},
        {std::string("x1") + '\0' + "2", '1', "31"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.formatted);
        EXPECT_EQ(StringHelper::CheckSum(c.text.c_str()), c.sum);
        EXPECT_EQ(StringHelper::CheckSumFormat(c.text), c.formatted);
    }
}

TEST(StringHelperTest, SplitNeverYieldsEmptyFieldsAndAppends) {
    struct Case {
        std::string text;
        std::string delimiters;
        Fields fields;
    };
    Case const cases[] = {
        {",a,,b,", ",", {"a", "b"}},
        {"", ",", {}},
        {",,,", ",", {}},
        {"a b\t\tc", " \t", {"a", "b", "c"}},
        {"800/600/16", "/", {"800", "600", "16"}},
        {"abc", "", {"abc"}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text);
        for (bool keepEmpty : {false, true}) {
            Fields fields = {"before"};
            StringHelper::Split(c.text, fields, c.delimiters, keepEmpty);
            Fields expected = {"before"};
            expected.insert(expected.end(), c.fields.begin(), c.fields.end());
            EXPECT_EQ(fields, expected);
        }
    }
}

TEST(StringHelperTest, SplitStringCutsAtTheWholeDelimiter) {
    struct Case {
        std::string text;
        std::string delimiter;
        bool keepEmpty;
        Fields fields;
    };
    Case const cases[] = {
        {"alice, bob, carol", ", ", false, {"alice", "bob", "carol"}},
        {"a, , b", ", ", true, {"a", "", "b"}},
        {"a, , b", ", ", false, {"a", "b"}},
        {"a,b, c", ", ", false, {"a,b", "c"}},
        {"aaa", "aa", true, {"", "a"}},
        {"", ", ", true, {""}},
        {"", ", ", false, {}},
        {"abc", "", false, {"abc"}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text + "|" + c.delimiter);
        Fields fields;
        StringHelper::SplitString(c.text, c.delimiter, fields, c.keepEmpty);
        EXPECT_EQ(fields, c.fields);
    }
}

TEST(StringHelperTest, GetPartsCountsEmptyFieldsAndPointsAtTheRest) {
    struct Case {
        char const* text;
        unsigned count;
        Fields parts;
        int restOffset;  // -1: null result
    };
    Case const cases[] = {
        {"a:b:c", 2, {"a", "b"}, 4}, {"a:b", 2, {"a", "b"}, 3}, {"a:b:", 2, {"a", "b"}, 4},
        {"::", 2, {"", ""}, 2},      {"a", 2, {"a"}, -1},       {"", 1, {""}, 0},
        {"", 2, {""}, -1},           {"x", 0, {}, 0},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " count " + std::to_string(c.count));
        Fields parts;
        char const* rest = StringHelper::GetParts(c.text, c.count, parts, ':');
        EXPECT_EQ(parts, c.parts);
        EXPECT_EQ(rest, c.restOffset < 0 ? nullptr : c.text + c.restOffset);
    }
    // The count is checked against the whole vector, not against what this call added.
    Fields used = {"old"};
    EXPECT_EQ(StringHelper::GetParts("a:b:c", 2, used, ':'), nullptr);
}

TEST(StringHelperTest, WildcardMatchCapturesWhatEachStarCovered) {
    struct Case {
        std::string text;
        std::string pattern;
        bool trim;
        bool matches;
        Fields captures;
    };
    Case const cases[] = {
        {"CURRENTUSERHANDLE  bob \r\n", "CURRENTUSERHANDLE *", true, true, {"bob"}},
        {"CURRENTUSERHANDLE  bob \r\n", "CURRENTUSERHANDLE *", false, true, {" bob \r\n"}},
        {"abc", "**", true, true, {"abc"}},
        {"abc", "", true, true, {}},
        {"abc", "*b", true, true, {"a"}},
        {"abc", "ab", true, true, {}},
        {"a-b-c", "*-*", true, true, {"a", "b-c"}},
        {" a - b ", "*-*", true, true, {"a", "b"}},
        {"X=", "X=*", true, true, {""}},
        {"abc", "b*", true, false, {}},
        {"abc", "a*d", true, false, {}},
        {"", "a", true, false, {}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text + " ~ " + c.pattern);
        Fields captures;
        EXPECT_EQ(StringHelper::WildcardMatch(c.text, c.pattern, captures, c.trim, false), c.matches);
        EXPECT_EQ(captures, c.captures);
    }
    Fields earlier = {"kept?"};
    EXPECT_FALSE(StringHelper::WildcardMatch("abc", "x*", earlier));
    EXPECT_TRUE(earlier.empty());
}

TEST(StringHelperTest, TrimInPlaceAndAsCopy) {
    struct Case {
        std::string text;
        std::string characters;
        std::string trimmed;
    };
    Case const cases[] = {
        {"  ab c  ", " ", "ab c"}, {"\r\n\tab\t", " \r\n\t", "ab"}, {"xyxaxy", "xy", "a"}, {"xxx", "x", ""},
        {"ab", "", "ab"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text);
        std::string const original = c.text;
        EXPECT_EQ(StringHelper::Trim(original, c.characters), c.trimmed);
        std::string changed = c.text;
        StringHelper::Trim(changed, c.characters);
        EXPECT_EQ(changed, c.trimmed);
    }
}

TEST(StringHelperTest, StrToWstrFromUtf8AndTheCodePage) {
    EXPECT_EQ(StringHelper::StrToWstr("h\xc3\xa9llo \xe2\x82\xac", true), L"h\u00e9llo \u20ac");
    EXPECT_EQ(StringHelper::StrToWstr("", true), L"");
    EXPECT_EQ(StringHelper::StrToWstr(std::string("ab\0\0", 4), true), L"ab");
    EXPECT_EQ(StringHelper::StrToWstr("plain text", false), L"plain text");
    EXPECT_EQ(StringHelper::StrToWstr("", false), L"");
}

TEST(StringHelperTest, NumbersReadByTheLeadingDigitsRule) {
    struct Case {
        char const* text;
        int value;
        int64_t value64;
    };
    Case const cases[] = {
        {"12abc", 12, 12},
        {"-5", -5, -5},
        {"abc", 0, 0},
        {"", 0, 0},
        {"4294967295", INT_MAX, 4294967295LL},
        {"-99999999999", INT_MIN, -99999999999LL},
        {"99999999999999999999", INT_MAX, INT64_MAX},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(StringHelper::ToInt(c.text), c.value);
        EXPECT_EQ(StringHelper::ToInt64(c.text), c.value64);
    }
}

}  // namespace
