#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>
#include <vector>

#include "config/Configuration.h"

namespace {

struct Setting {
    std::string section;
    std::string key;
    std::string value;
    std::string defaultText;
};

std::vector<IConfigValue*> ValuesOf(ConfigRegistry const& registry) {
    std::vector<IConfigValue*> values;
    registry.GetValues(values);
    return values;
}

std::vector<Setting> SettingsOf(ConfigRegistry const& registry) {
    std::vector<Setting> settings;
    for (IConfigValue* value : ValuesOf(registry)) {
        settings.push_back({value->GetSection(), value->GetName(), value->GetValue(), value->GetDefault()});
    }
    return settings;
}

void ExpectSameSettings(std::vector<Setting> const& actual, std::vector<Setting> const& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].section + "/" + expected[i].key);
        EXPECT_EQ(actual[i].section, expected[i].section);
        EXPECT_EQ(actual[i].key, expected[i].key);
        EXPECT_EQ(actual[i].value, expected[i].value);
        EXPECT_EQ(actual[i].defaultText, expected[i].defaultText);
    }
}

bool PointsInto(IConfigValue const* value, Configuration const& config) {
    auto address = reinterpret_cast<char const*>(value);
    auto begin = reinterpret_cast<char const*>(&config);
    return address >= begin && address < begin + sizeof(Configuration);
}

TEST(ConfigurationTest, FreshConfigurationListsTheDefaultsInFixedOrder) {
    std::string folder = GetDefaultRecordingFolder();
    ExpectSameSettings(SettingsOf(Configuration()),
                       {
                           {"SessionQuality", "Resolution", "800x600", "800x600"},
                           {"SessionQuality", "ColorDepth", "16", "16"},
                           {"SessionQuality", "UseJpeg", "1", "1"},
                           {"SessionQuality", "JpegQuality", "50", "50"},
                           {"SessionQuality", "AutoJpegQuality", "1", "1"},
                           {"Recording", "Resolution", "0x0", "0x0"},
                           {"Recording", "ColorDepth", "0", "24"},
                           {"Recording", "OutputPath", folder, folder},
                           {"Recording", "Codec", "Microsoft Video 1", "Microsoft Video 1"},
                           {"Plugin", "ShowPrivateInfo", "1", "1"},
                           {"Plugin", "TabbedInterface", "0", "0"},
                           {"Plugin", "EnableDump", "0", "0"},
                           {"Plugin", "ShowPassiveBalloons", "1", "1"},
                           {"Plugin", "ShowActiveBalloons", "1", "1"},
                           {"Plugin", "ShowStatusBalloons", "1", "1"},
                           {"Plugin", "Effects", "1", "1"},
                           {"Plugin", "Alpha", "255", "255"},
                           {"Plugin", "AcceptMyAccount", "0", "0"},
                           {"Logging", "Enabled", "0", "0"},
                           {"Logging", "LogToFile", "1", "1"},
                           {"Logging", "LogToConsole", "0", "0"},
                       });
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
    for (Case const& c : {Case{{0, 600}, "800x600"}, Case{{640, 0}, "800x600"}, Case{{0, 0}, "800x600"},
                          Case{{1024, 768}, "1024x768"}, Case{{-1, 5}, "-1x5"}}) {
        SCOPED_TRACE(c.expected);
        SessionQualityConfiguration quality(c.resolution, 8, false, 75);
        EXPECT_EQ(quality.Resolution.GetValue(), c.expected);
        EXPECT_EQ(quality.Resolution.GetDefault(), c.expected);
        EXPECT_EQ(quality.ColorDepth.Get(), 8u);
        EXPECT_FALSE(quality.UseJpeg.Get());
        EXPECT_EQ(quality.JpegQuality.Get(), 75);
        EXPECT_EQ(quality.AutoJpegQuality.Get(), 1);
    }
}

TEST(ConfigurationTest, RecordingZeroMeansNotChosen) {
    RecordingConfiguration recording;
    EXPECT_TRUE(recording.IsDefaultColorDepth());
    EXPECT_TRUE(recording.IsDefaultResolution());
    EXPECT_EQ(recording.ColorDepth.GetDefaultValue(), 24u);

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

TEST(ConfigurationTest, CopyRegistersItsOwnValues) {
    Configuration original;
    original.SessionQuality.ColorDepth.Set(8);
    original.Recording.OutputPath.Set("D:\\Videos");
    original.Logging.Enabled.Set(true);

    Configuration copy(original);
    ExpectSameSettings(SettingsOf(copy), SettingsOf(original));
    for (IConfigValue* value : ValuesOf(copy)) {
        SCOPED_TRACE(value->GetName());
        EXPECT_TRUE(PointsInto(value, copy));
    }

    for (IConfigValue* value : ValuesOf(copy)) {
        value->SetValue("3x3");  // readable by every type
    }
    EXPECT_EQ(original.SessionQuality.ColorDepth.Get(), 8u);
    EXPECT_EQ(original.Recording.OutputPath.Get(), "D:\\Videos");
    EXPECT_EQ(copy.Recording.OutputPath.Get(), "3x3");
}

TEST(ConfigurationTest, AssignmentCopiesValuesAndKeepsTheRegistry) {
    Configuration source;
    source.SessionQuality.Resolution.SetValue("1280x1024");
    source.Plugin.Alpha.Set(100);
    Configuration target;
    std::vector<IConfigValue*> before = ValuesOf(target);

    target = source;
    EXPECT_EQ(ValuesOf(target), before);
    ExpectSameSettings(SettingsOf(target), SettingsOf(source));

    source.Plugin.Alpha.Set(1);
    EXPECT_EQ(target.Plugin.Alpha.Get(), 100);
}

}  // namespace
