#include <gtest/gtest.h>

#include <shlobj.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../ErrorText.h"
#include "TempFolder.h"
#include "config/Configuration.h"
#include "config/IniConfigStore.h"
#include "config/IniFile.h"
#include "foundation/Errors.h"

namespace {

std::vector<IConfigValue*> ValuesOf(ConfigRegistry const& registry) {
    std::vector<IConfigValue*> values;
    registry.GetValues(values);
    return values;
}

// "section/key=text" of every value, in the registry's order: the current texts, or the defaults.
std::vector<std::string> Texts(ConfigRegistry const& registry, bool defaults = false) {
    std::vector<std::string> texts;
    for (IConfigValue const* value : ValuesOf(registry)) {
        texts.push_back(value->GetSection() + "/" + value->GetName() + "=" +
                        (defaults ? value->GetDefault() : value->GetValue()));
    }
    return texts;
}

// Every setting away from its default and from what a fresh Configuration holds.
void ChangeEverything(Configuration& config) {
    for (IConfigValue* value : ValuesOf(config)) {
        value->SetValue("3x3");  // readable by every type
        if (value->GetValue() == value->GetDefault()) {
            value->SetValue("0x0");
        }
    }
    config.Recording.OutputPath.SetValue("C:\\Rec [1]=x\\" + std::string(300, 'p'));
}

// A number reads by its leading digits, clamped to the type; other text keeps the value (each
// row starts from a fresh one, so a kept value shows as its default); a size without an "x"
// raises.
TEST(ConfigValueTest, TextsReadBackByType) {
    using Make = std::function<std::unique_ptr<IConfigValue>()>;
    Make const int7 = [] { return std::make_unique<IntConfigValue>("S", "K", 7); };
    Make const unsigned3 = [] { return std::make_unique<ConfigValue<unsigned int>>("S", "K", 3); };
    Make const depth16 = [] { return std::make_unique<ColorDepthConfigValue>("S", "ColorDepth", 16); };
    Make const false_ = [] { return std::make_unique<BoolConfigValue>("S", "K", false); };
    Make const true_ = [] { return std::make_unique<BoolConfigValue>("S", "K", true); };
    Make const size = [] { return std::make_unique<SizeConfigValue>("S", "Resolution", tagSIZE{800, 600}); };
    Make const text = [] { return std::make_unique<StringConfigValue>("S", "K", "Microsoft Video 1"); };
    struct Case {
        Make const& make;
        std::string input;
        std::string expected;
    } const cases[] = {{int7, "  +12abc", "12"},
                       {int7, "2147483648", "2147483647"},
                       {int7, "-99999999999999", "-2147483648"},
                       {unsigned3, "99999999999", "4294967295"},
                       {unsigned3, "-1", "3"},
                       {depth16, "32", "24"},
                       {depth16, "-1", "16"},
                       {false_, "7", "1"},
                       {true_, "false", "1"},
                       {true_, "0", "0"},
                       {size, "x768", "0x768"},
                       {size, "-5x+7", "-5x7"},
                       {size, "10x20x30", "10x20"},
                       {size, "1024X768", "800x600 / Invalid configuration value: 1024X768"},
                       {text, " a=b; [c] ", " a=b; [c] "}};
    for (Case const& c : cases) {
        std::unique_ptr<IConfigValue> value = c.make();
        std::string const defaultText = value->GetDefault();
        SCOPED_TRACE(defaultText + " reading \"" + c.input + "\"");
        std::string const error = ErrorText<BaseError>([&] { value->SetValue(c.input); });
        EXPECT_EQ(value->GetValue() + (error == "<none>" ? "" : " / " + error), c.expected);
        EXPECT_EQ(value->GetDefault(), defaultText);
    }
}

// Session quality: a zero side stands for 800 x 600. Recording: zero stands for "not chosen",
// while the colour depth's default text stays 24. Copies and assignments keep their own values.
TEST(ConfigurationTest, ZeroMeansTheFallbackOrNotChosen) {
    for (tagSIZE size : {tagSIZE{0, 600}, tagSIZE{640, 0}}) {
        EXPECT_EQ(SessionQualityConfiguration(size, 8, false, 75).Resolution.GetValue(), "800x600");
    }
    RecordingConfiguration recording;
    EXPECT_TRUE(recording.IsDefaultColorDepth());
    EXPECT_TRUE(recording.IsDefaultResolution());
    EXPECT_EQ(recording.ColorDepth.GetDefault(), "24");
    recording.ColorDepth.SetValue("8");
    recording.Resolution.SetValue("640x480");
    EXPECT_FALSE(recording.IsDefaultColorDepth());
    EXPECT_FALSE(recording.IsDefaultResolution());
    recording.SetDefaultResolution();
    EXPECT_EQ(recording.Resolution.GetValue(), "0x0");

    // A copy's registry must list the copy's own values, or changing it would change the original.
    Configuration original;
    std::vector<std::string> const texts = Texts(original);
    Configuration copy(original);
    ChangeEverything(copy);
    EXPECT_EQ(Texts(original), texts);

    Configuration target;
    std::vector<IConfigValue*> before = ValuesOf(target);
    target = copy;
    EXPECT_EQ(ValuesOf(target), before);
    EXPECT_EQ(Texts(target), Texts(copy));
    copy.Plugin.Alpha.Set(1);
    EXPECT_NE(target.Plugin.Alpha.Get(), 1);
}

// Stored files rely on the names, sections and texts saved. Saved values load back unchanged
// (the recording colour depth 0 reads back as 0, not 24); missing or empty ones load as
// defaults; an unreadable size ends the load at that value. Long values read back whole, up to
// a bound.
TEST(IniConfigStoreTest, SaveWritesOneSectionPerGroupAndLoadReadsItBack) {
    TempFolder folder;
    IniConfigStore store(folder.File("settings.ini"));
    char videos[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, videos, CSIDL_MYVIDEO, FALSE));
    EXPECT_EQ(GetDefaultRecordingFolder(), std::string(videos) + "\\CorvaneRecordedSessions");
    SaveConfiguration(Configuration(), store);
    EXPECT_EQ(ReadWholeFile(folder.File("settings.ini")),
              "[SessionQuality]\r\nResolution=800x600\r\nColorDepth=16\r\nUseJpeg=1\r\nJpegQuality=50\r\n"
              "AutoJpegQuality=1\r\n[Recording]\r\nResolution=0x0\r\nColorDepth=0\r\nOutputPath=" +
                  GetDefaultRecordingFolder() +
                  "\r\nCodec=Microsoft Video 1\r\n[Plugin]\r\nShowPrivateInfo=1\r\nTabbedInterface=0\r\n"
                  "EnableDump=0\r\nShowPassiveBalloons=1\r\nShowActiveBalloons=1\r\nShowStatusBalloons=1\r\n"
                  "Effects=1\r\nAlpha=255\r\nAcceptMyAccount=0\r\n[Logging]\r\nEnabled=0\r\nLogToFile=1\r\n"
                  "LogToConsole=0\r\n[Sharing]\r\nAllowControl=1\r\nServeClipboard=1\r\n");
    for (bool changed : {false, true}) {
        Configuration saved, loaded;
        ChangeEverything(changed ? saved : loaded);
        SaveConfiguration(saved, store);
        LoadConfiguration(loaded, store);
        EXPECT_EQ(Texts(loaded), Texts(saved));
    }
    WriteWholeFile(folder.File("empty.ini"),
                   "[SessionQuality]\r\nResolution=\r\nColorDepth=\r\n[Recording]\r\nColorDepth=\r\n"
                   "Resolution=\r\nOutputPath=\r\n[Plugin]\r\nAlpha=\r\n[Logging]\r\nLogToFile=\r\n");
    for (char const* name : {"missing.ini", "empty.ini"}) {
        SCOPED_TRACE(name);
        Configuration config;
        ChangeEverything(config);
        IniConfigStore file(folder.File(name));
        LoadConfiguration(config, file);
        EXPECT_EQ(Texts(config), Texts(config, true));
        EXPECT_EQ(config.Recording.ColorDepth.Get(), 24u);
    }
    WriteWholeFile(
        folder.File("bad.ini"),
        "[SessionQuality]\r\nColorDepth=8\r\n[Recording]\r\nResolution=large\r\nColorDepth=16\r\n");
    Configuration config;
    IniConfigStore bad(folder.File("bad.ini"));
    EXPECT_EQ(ErrorText<BaseError>([&] { LoadConfiguration(config, bad); }),
              "Invalid configuration value: large");
    EXPECT_EQ(config.SessionQuality.ColorDepth.Get(), 8u);
    EXPECT_EQ(config.Recording.ColorDepth.Get(), 0u);

    IniFile file(folder.File("long.ini"));
    EXPECT_EQ(file.Read("S", "K", "fallback"), "fallback");
    for (std::size_t length : {std::size_t{254}, std::size_t{255}, std::size_t{5000}}) {
        SCOPED_TRACE(length);
        std::string value = std::string(length - 1, 'v') + "e";
        file.Write("Recording", "OutputPath", value);
        EXPECT_EQ(file.Read("Recording", "OutputPath", ""), value);
    }
    // Beyond the bound the read is cut rather than growing without end.
    std::string huge(IniFile::kMaxValueLength + 100, 'h');
    WriteWholeFile(folder.File("huge.ini"), "[S]\r\nK=" + huge + "\r\n");
    EXPECT_EQ(IniFile::Read(folder.File("huge.ini"), "S", "K", ""), huge.substr(0, IniFile::kMaxValueLength));
}

}  // namespace
