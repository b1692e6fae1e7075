#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../ErrorText.h"
#include "LogCapture.h"
#include "config/ConfigValue.h"
#include "foundation/Errors.h"

namespace {

struct TextCase {
    std::string input;
    std::string expected;  // GetValue() after SetValue(input)
};

// Each case starts from a fresh copy of `start`, so a kept value shows as its default.
template <class Value>
void ExpectReadsBack(Value const& start, std::vector<TextCase> const& cases) {
    for (TextCase const& c : cases) {
        SCOPED_TRACE("input \"" + c.input + "\"");
        Value value = start;
        value.SetValue(c.input);
        EXPECT_EQ(value.GetValue(), c.expected);
        EXPECT_EQ(value.GetDefault(), start.GetDefault());
    }
}

TEST(ConfigValueTest, IntReadsLeadingNumberAndKeepsValueForOtherText) {
    std::vector<TextCase> const texts = {
        {"-42", "-42"},
        {"+5", "5"},
        {"  12", "12"},
        {"12abc", "12"},
        {"2147483648", "2147483647"},
        {"-99999999999999999999999", "-2147483648"},
        {"abc", "7"},
        {"", "7"},
        {"-", "7"},
    };
    ExpectReadsBack(IntConfigValue("S", "K", 7), texts);
}

TEST(ConfigValueTest, ColorDepthIsCappedAt24AndNeverNegative) {
    std::vector<TextCase> const depths = {
        {"8", "8"},           {"24", "24"}, {"32", "24"},   {"0", "0"},
        {"4294967296", "24"}, {"-1", "16"}, {"deep", "16"},
    };
    ExpectReadsBack(ColorDepthConfigValue("S", "ColorDepth", 16), depths);
    std::vector<TextCase> const unsignedTexts = {
        {"4294967295", "4294967295"},
        {"99999999999", "4294967295"},
        {"-0", "0"},
    };
    ExpectReadsBack(ConfigValue<unsigned int>("S", "K", 3), unsignedTexts);

    ColorDepthConfigValue depth("S", "ColorDepth", 32);
    EXPECT_EQ(depth.GetValue(), "32");  // the default is not validated
    depth.Set(30);
    EXPECT_EQ(depth.Get(), 24u);
}

TEST(ConfigValueTest, BoolIsWrittenAsDigitsAndReadAsNumber) {
    std::vector<TextCase> const fromFalse = {
        {"1", "1"}, {"0", "0"}, {"7", "1"}, {"-1", "1"}, {"true", "0"}, {"", "0"},
    };
    ExpectReadsBack(BoolConfigValue("S", "K", false), fromFalse);
    std::vector<TextCase> const fromTrue = {
        {"0", "0"},
        {"false", "1"},
    };
    ExpectReadsBack(BoolConfigValue("S", "K", true), fromTrue);
}

TEST(ConfigValueTest, SizeSplitsAtFirstX) {
    std::vector<TextCase> const sizes = {
        {"1024x768", "1024x768"}, {"0x0", "0x0"},        {"x768", "0x768"},         {"1024x", "1024x0"},
        {"-5x+7", "-5x7"},        {"10x20x30", "10x20"}, {" 640 x 480", "640x480"}, {"wide x high", "0x0"},
    };
    ExpectReadsBack(SizeConfigValue("S", "Resolution", tagSIZE{800, 600}), sizes);
}

TEST(ConfigValueTest, SizeWithoutXRaisesAndKeepsValue) {
    for (std::string text : {"1024", "", "1024X768"}) {
        SCOPED_TRACE("input \"" + text + "\"");
        LogCapture log;
        SizeConfigValue size("S", "Resolution", tagSIZE{800, 600});
        size.SetValue("640x480");
        EXPECT_EQ(ErrorText<BaseError>([&] { size.SetValue(text); }), "Invalid configuration value: " + text);
        EXPECT_EQ(size.GetValue(), "640x480");
        EXPECT_TRUE(log.Contains("Exception (BaseError): Invalid configuration value: " + text));
    }
}

TEST(ConfigValueTest, StringKeepsTextAsItIs) {
    std::vector<TextCase> const texts = {
        {"", ""},
        {" a=b; [c] ", " a=b; [c] "},
    };
    ExpectReadsBack(StringConfigValue("S", "K", "Microsoft Video 1"), texts);
}

}  // namespace
