#include <gtest/gtest.h>

#include <climits>

#include "foundation/StringHelper.h"

namespace {

using Fields = std::vector<std::string>;

// Printable text and line breaks stay; a backslash doubles; the rest becomes \x and hex digits.
TEST(StringHelperTest, EscapeAsciiAndNumbers) {
    struct Case {
        std::string text;
        std::string escaped;
    } const cases[] = {
        {"plain text 123 ~!", "plain text 123 ~!"},
        {"a\\x9", "a\\\\x9"},
        {"line\r\nnext\t", "line\r\nnext\\x9"},
        {std::string("\x01\x00\x7f", 3), "\\x1\\x0\\x7f"},
        {"\x10\xff", "\\x10\\xff"},
    };
    for (Case const& c : cases) {
        EXPECT_EQ(StringHelper::EscapeAscii(c.text), c.escaped);
    }
    // Numbers by their leading digits, clamped to the type.
    EXPECT_EQ(StringHelper::ToInt("12abc"), 12);
    EXPECT_EQ(StringHelper::ToInt("abc"), 0);
    EXPECT_EQ(StringHelper::ToInt("4294967295"), INT_MAX);
    EXPECT_EQ(StringHelper::ToInt("-99999999999"), INT_MIN);
}

// The frame checksum: every character but the first, each widened with its sign, xor-ed.
TEST(StringHelperTest, CheckSumLeavesOutTheFirstCharacterAndKeepsTheSign) {
    struct Case {
        std::string text;
        int sum;
        std::string formatted;
    } const cases[] = {
        {"\xff", 0, "00"},
        {"16,3,5:7", 0x3d, "3D"},
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

// Split cuts at any of the characters and yields no empty field; SplitString cuts at the whole
// delimiter and keeps empty fields when asked. Both append.
TEST(StringHelperTest, SplitAndSplitString) {
    struct Case {
        std::string text;
        std::string delimiters;
        Fields fields;
    } const splits[] = {{",a,,b,", ",", {"a", "b"}},
                        {",,,", ",", {}},
                        {"a b\t\tc", " \t", {"a", "b", "c"}},
                        {"abc", "", {"abc"}}};
    for (Case const& c : splits) {
        SCOPED_TRACE(c.text);
        Fields fields = {"before"};
        StringHelper::Split(c.text, fields, c.delimiters);
        fields.erase(fields.begin());
        EXPECT_EQ(fields, c.fields);
    }
    struct WholeCase {
        std::string text;
        std::string delimiter;
        bool keepEmpty;
        Fields fields;
    } const wholes[] = {
        {"a, , b", ", ", true, {"a", "", "b"}},
        {"a, , b", ", ", false, {"a", "b"}},
        {"a,b, c", ", ", false, {"a,b", "c"}},
        {"aaa", "aa", true, {"", "a"}},
        {"", ", ", true, {""}},
        {"", ", ", false, {}},
        {"abc", "", false, {"abc"}},
    };
    for (WholeCase const& c : wholes) {
        SCOPED_TRACE(c.text + "|" + c.delimiter);
        Fields fields = {"before"};
        StringHelper::SplitString(c.text, c.delimiter, fields, c.keepEmpty);
        fields.erase(fields.begin());
        EXPECT_EQ(fields, c.fields);
    }
}

TEST(StringHelperTest, GetPartsCountsEmptyFieldsAndPointsAtTheRest) {
    struct Case {
        char const* text;
        unsigned count;
        Fields parts;
        int restOffset;  // -1: null result
    } const cases[] = {
        {"a:b:c", 2, {"a", "b"}, 4}, {"a:b", 2, {"a", "b"}, 3}, {"::", 2, {"", ""}, 2},
        {"a", 2, {"a"}, -1},         {"", 1, {""}, 0},          {"x", 0, {}, 0},
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
    } const cases[] = {
        {"CURRENTUSERHANDLE  bob \r\n", "CURRENTUSERHANDLE *", true, true, {"bob"}},
        {"CURRENTUSERHANDLE  bob \r\n", "CURRENTUSERHANDLE *", false, true, {" bob \r\n"}},
        {"abc", "**", true, true, {"abc"}},
        {"abc", "", true, true, {}},
        {"abc", "*b", true, true, {"a"}},
        {"abc", "ab", true, true, {}},
        {" a - b ", "*-*", true, true, {"a", "b"}},
        {"X=", "X=*", true, true, {""}},
        {"abc", "b*", true, false, {}},
        {"abc", "a*d", true, false, {}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text + " ~ " + c.pattern);
        Fields captures = {"earlier"};
        EXPECT_EQ(StringHelper::WildcardMatch(c.text, c.pattern, captures, c.trim, false), c.matches);
        if (c.matches) {
            captures.erase(captures.begin());
        }
        EXPECT_EQ(captures, c.captures);
    }
}

}  // namespace
