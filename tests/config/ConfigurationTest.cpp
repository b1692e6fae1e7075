#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>
#include <vector>

#include "ConfigTexts.h"
#include "config/Configuration.h"

namespace {

std::vector<IConfigValue*> ValuesOf(ConfigRegistry const& registry) {
    std::vector<IConfigValue*> values;
    registry.GetValues(values);
    return values;
}

TEST(ConfigurationTest, RecordingFolderIsInTheVideosFolder) {
    char videos[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, videos, CSIDL_MYVIDEO, FALSE));
    EXPECT_EQ(GetDefaultRecordingFolder(), std::string(videos) + "\\CorvaneRecordedSessions");
}

TEST(ConfigurationTest, SessionQualityFallsBackTo800x600ForAZeroSide) {
    struct Case {
        tagSIZE resolution;
        std::string expected;
    };
    for (Case const& c : {Case{{0, 600}, "800x600"}, Case{{640, 0}, "800x600"}, Case{{1024, 768}, "1024x768"},
                          Case{{-1, 5}, "-1x5"}}) {
        SCOPED_TRACE(c.expected);
        SessionQualityConfiguration quality(c.resolution, 8, false, 75);
        EXPECT_EQ(quality.Resolution.GetValue(), c.expected);
        EXPECT_EQ(quality.Resolution.GetDefault(), c.expected);
    }
}

// Zero stands for "not chosen"; the colour depth's default text stays 24 all the same.
TEST(ConfigurationTest, RecordingZeroMeansNotChosen) {
    RecordingConfiguration recording;
    EXPECT_TRUE(recording.IsDefaultColorDepth());
    EXPECT_TRUE(recording.IsDefaultResolution());
    EXPECT_EQ(recording.ColorDepth.GetDefault(), "24");

    recording.ColorDepth.SetValue("8");
    recording.Resolution.SetValue("640x480");
    EXPECT_FALSE(recording.IsDefaultColorDepth());
    EXPECT_FALSE(recording.IsDefaultResolution());
    recording.Resolution.SetValue("640x0");
    EXPECT_TRUE(recording.IsDefaultResolution());

    recording.Resolution.SetValue("640x480");
    recording.SetDefaultResolution();
    recording.SetDefaultColorDepth();
    EXPECT_EQ(recording.Resolution.GetValue(), "0x0");
    EXPECT_EQ(recording.ColorDepth.GetValue(), "0");
}

// A copy's registry must list the copy's own values, or changing it would change the original.
TEST(ConfigurationTest, CopyAndAssignmentKeepTheirOwnValues) {
    Configuration original;
    original.SessionQuality.ColorDepth.Set(8);
    original.Recording.OutputPath.Set("D:\\Videos");

    Configuration copy(original);
    EXPECT_EQ(Texts(copy), Texts(original));
    EXPECT_EQ(Texts(copy, true), Texts(original, true));
    for (IConfigValue* value : ValuesOf(copy)) {
        value->SetValue("3x3");  // readable by every type
    }
    EXPECT_EQ(original.SessionQuality.ColorDepth.Get(), 8u);
    EXPECT_EQ(original.Recording.OutputPath.Get(), "D:\\Videos");
    EXPECT_EQ(copy.Recording.OutputPath.Get(), "3x3");

    Configuration target;
    std::vector<IConfigValue*> before = ValuesOf(target);
    target = original;
    EXPECT_EQ(ValuesOf(target), before);
    EXPECT_EQ(Texts(target), Texts(original));
    original.Plugin.Alpha.Set(1);
    EXPECT_EQ(target.Plugin.Alpha.Get(), 255);
}

}  // namespace
