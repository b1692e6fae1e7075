#include <gtest/gtest.h>

#include <climits>

#include "foundation/StringHelper.h"

namespace {

using Fields = std::vector<std::string>;

// Printable text and line breaks stay; a backslash doubles; the rest becomes \x and hex digits.
TEST(StringHelperTest, EscapeAsciiAndNumbers) {
    EXPECT_EQ(StringHelper::EscapeAscii(std::string("ok ~\\x9\r\n\t\x01\0\x7f\x10\xff", 15)),
              "ok ~\\\\x9\r\n\\x9\\x1\\x0\\x7f\\x10\\xff");
    // Numbers by their leading digits, clamped to the type.
    EXPECT_EQ(StringHelper::ToInt("12abc"), 12);
    EXPECT_EQ(StringHelper::ToInt("abc"), 0);
    EXPECT_EQ(StringHelper::ToInt("4294967295"), INT_MAX);
    EXPECT_EQ(StringHelper::ToInt("-99999999999"), INT_MIN);
}

// Split cuts at any of the characters and yields no empty field; SplitString cuts at the whole
// delimiter and keeps empty fields when asked. Both append.
TEST(StringHelperTest, SplitAndSplitString) {
    enum Kind { kAnyOf, kWholeKeepEmpty, kWhole };
    struct Case {
        Kind kind;
        std::string text;
        std::string delimiters;
        Fields fields;
    } const cases[] = {
        {kAnyOf, ",a,,b,", ",", {"a", "b"}},
        {kAnyOf, "a b\t\tc", " \t", {"a", "b", "c"}},
        {kAnyOf, "abc", "", {"abc"}},
        {kWholeKeepEmpty, "a, , b", ", ", {"a", "", "b"}},
        {kWhole, "a,b, c", ", ", {"a,b", "c"}},
        {kWholeKeepEmpty, "aaa", "aa", {"", "a"}},
        {kWhole, "", ", ", {}},
        {kWhole, "abc", "", {"abc"}},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.text + "|" + c.delimiters);
        Fields fields = {"before"};
        if (c.kind == kAnyOf) {
            StringHelper::Split(c.text, fields, c.delimiters);
        } else {
            StringHelper::SplitString(c.text, c.delimiters, fields, c.kind == kWholeKeepEmpty);
        }
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
