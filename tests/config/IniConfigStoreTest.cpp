#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../ErrorText.h"
#include "ConfigTexts.h"
#include "TempFolder.h"
#include "config/Configuration.h"
#include "config/IniConfigStore.h"
#include "config/IniFile.h"
#include "foundation/Errors.h"

namespace {

// Every setting away from its default and from what a fresh Configuration holds.
void ChangeEverything(Configuration& config) {
    config.SessionQuality.Resolution.SetValue("1280x1024");
    config.SessionQuality.ColorDepth.SetValue("8");
    config.SessionQuality.UseJpeg.SetValue("0");
    config.SessionQuality.JpegQuality.SetValue("-3");
    config.SessionQuality.AutoJpegQuality.SetValue("0");
    config.Recording.Resolution.SetValue("640x480");
    config.Recording.ColorDepth.SetValue("16");
    config.Recording.OutputPath.SetValue("C:\\Rec [1]=x\\" + std::string(300, 'p'));
    config.Recording.Codec.SetValue("Cinepak Codec");
    PluginConfiguration& plugin = config.Plugin;
    for (BoolConfigValue* flag :
         {&plugin.ShowPrivateInfo, &plugin.TabbedInterface, &plugin.EnableDump, &plugin.ShowPassiveBalloons,
          &plugin.ShowActiveBalloons, &plugin.ShowStatusBalloons, &plugin.Effects, &plugin.AcceptMyAccount,
          &config.Logging.Enabled, &config.Logging.LogToFile, &config.Logging.LogToConsole,
          &config.Sharing.AllowControl, &config.Sharing.ServeClipboard}) {
        flag->Set(!flag->GetDefaultValue());
    }
    plugin.Alpha.SetValue("128");
}

// Stored files rely on these names, sections and texts.
TEST(IniConfigStoreTest, SaveWritesOneSectionPerGroupInRegistryOrder) {
    TempFolder folder;
    IniConfigStore store(folder.File("settings.ini"));
    SaveConfiguration(Configuration(), store);
    EXPECT_EQ(ReadWholeFile(folder.File("settings.ini")),
              "[SessionQuality]\r\nResolution=800x600\r\nColorDepth=16\r\nUseJpeg=1\r\nJpegQuality=50\r\n"
              "AutoJpegQuality=1\r\n[Recording]\r\nResolution=0x0\r\nColorDepth=0\r\nOutputPath=" +
                  GetDefaultRecordingFolder() +
                  "\r\nCodec=Microsoft Video 1\r\n[Plugin]\r\nShowPrivateInfo=1\r\nTabbedInterface=0\r\n"
                  "EnableDump=0\r\nShowPassiveBalloons=1\r\nShowActiveBalloons=1\r\nShowStatusBalloons=1\r\n"
                  "Effects=1\r\nAlpha=255\r\nAcceptMyAccount=0\r\n[Logging]\r\nEnabled=0\r\nLogToFile=1\r\n"
                  "LogToConsole=0\r\n[Sharing]\r\nAllowControl=1\r\nServeClipboard=1\r\n");
}

TEST(IniConfigStoreTest, SavedValuesLoadBackUnchanged) {
    TempFolder folder;
    IniConfigStore store(folder.File("settings.ini"));

    // A fresh configuration: the recording colour depth 0 is stored and reads back as 0, not 24.
    Configuration fresh;
    SaveConfiguration(fresh, store);
    Configuration loaded;
    loaded.Recording.ColorDepth.Set(12);
    LoadConfiguration(loaded, store);
    EXPECT_EQ(Texts(loaded), Texts(fresh));
    EXPECT_TRUE(loaded.Recording.IsDefaultColorDepth());

    Configuration changed;
    ChangeEverything(changed);
    SaveConfiguration(changed, store);
    LoadConfiguration(loaded, store);
    EXPECT_EQ(Texts(loaded), Texts(changed));
    EXPECT_NE(Texts(loaded), Texts(fresh));
}

TEST(IniConfigStoreTest, MissingOrEmptyValuesLoadAsDefaults) {
    struct Case {
        char const* name;
        char const* content;  // nullptr: no file at all
    };
    Case const cases[] = {
        {"missing file", nullptr},
        {"empty file", ""},
        {"empty values",
         "[SessionQuality]\r\nResolution=\r\nColorDepth=\r\n[Recording]\r\nColorDepth=\r\nResolution=\r\n"
         "OutputPath=\r\n[Plugin]\r\nAlpha=\r\n[Logging]\r\nLogToFile=\r\n"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        std::string path = folder.File("settings.ini");
        if (c.content) {
            WriteWholeFile(path, c.content);
        }
        Configuration config;
        ChangeEverything(config);
        IniConfigStore store(path);
        LoadConfiguration(config, store);
        EXPECT_EQ(Texts(config), Texts(config, true));
        EXPECT_EQ(config.Recording.ColorDepth.Get(), 24u);
        EXPECT_EQ(config.Recording.Resolution.GetValue(), "0x0");
    }
}

TEST(IniConfigStoreTest, UnreadableSizeEndsTheLoadAtThatValue) {
    TempFolder folder;
    std::string path = folder.File("settings.ini");
    WriteWholeFile(path,
                   "[SessionQuality]\r\nColorDepth=8\r\n[Recording]\r\nResolution=large\r\nColorDepth=16\r\n"
                   "[Plugin]\r\nAlpha=7\r\n");
    Configuration config;
    IniConfigStore store(path);
    EXPECT_EQ(ErrorText<BaseError>([&] { LoadConfiguration(config, store); }),
              "Invalid configuration value: large");
    EXPECT_EQ(config.SessionQuality.ColorDepth.Get(), 8u);  // before: loaded
    EXPECT_EQ(config.Recording.Resolution.GetValue(), "0x0");
    EXPECT_EQ(config.Recording.ColorDepth.Get(), 0u);  // after: untouched
    EXPECT_EQ(config.Plugin.Alpha.Get(), 255);
}

TEST(IniFileTest, LongValuesReadBackWhole) {
    TempFolder folder;
    IniFile file(folder.File("long.ini"));
    for (std::size_t length : {std::size_t{254}, std::size_t{255}, std::size_t{300}, std::size_t{5000}}) {
        SCOPED_TRACE(length);
        std::string value(length - 1, 'v');
        value += 'e';
        file.Write("Recording", "OutputPath", value);
        EXPECT_EQ(file.Read("Recording", "OutputPath", ""), value);
    }

    // Beyond the bound the read is cut rather than growing without end.
    std::string huge(IniFile::kMaxValueLength + 100, 'h');
    WriteWholeFile(folder.File("huge.ini"), "[S]\r\nK=" + huge + "\r\n");
    std::string read = IniFile::Read(folder.File("huge.ini"), "S", "K", "");
    EXPECT_EQ(read.size(), IniFile::kMaxValueLength);
    EXPECT_TRUE(huge.compare(0, read.size(), read) == 0);
}

TEST(IniFileTest, MissingKeysGiveTheDefault) {
    TempFolder folder;
    IniFile file(folder.File("settings.ini"));
    std::string longDefault(400, 'd');
    EXPECT_EQ(file.Read("S", "K", "fallback"), "fallback");  // no file yet
    file.Write("S", "K", "value");
    file.Write("S", "Empty", "");
    EXPECT_EQ(file.Read("S", "K", "fallback"), "value");
    EXPECT_EQ(file.Read("S", "Other", longDefault), longDefault);
    EXPECT_EQ(file.Read("T", "K", ""), "");
    EXPECT_EQ(file.Read("S", "Empty", "fallback"), "fallback");
}

}  // namespace
