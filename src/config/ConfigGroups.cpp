#include "config/ConfigGroups.h"

#include <shlobj.h>

#include "foundation/CorvaneLogging.h"

namespace {

constexpr char kSessionQualitySection[] = "SessionQuality";
constexpr char kRecordingSection[] = "Recording";
constexpr char kPluginSection[] = "Plugin";
constexpr char kLoggingSection[] = "Logging";
constexpr char kSharingSection[] = "Sharing";

constexpr char kRecordingFolderName[] = "CorvaneRecordedSessions";

ScreenSize OrFallbackResolution(ScreenSize resolution) {
    bool unset = resolution.cx == 0 || resolution.cy == 0;
    return unset ? SessionQualityConfiguration::kFallbackResolution : resolution;
}

}  // namespace

SessionQualityConfiguration::SessionQualityConfiguration()
    : SessionQualityConfiguration(ScreenSize{0, 0}, 16, true, 50) {}

SessionQualityConfiguration::SessionQualityConfiguration(ScreenSize resolution, int colorDepth, bool useJpeg,
                                                         int jpegQuality)
    : ColorDepth(kSessionQualitySection, "ColorDepth", static_cast<unsigned int>(colorDepth)),
      Resolution(kSessionQualitySection, "Resolution", OrFallbackResolution(resolution)),
      UseJpeg(kSessionQualitySection, "UseJpeg", useJpeg),
      JpegQuality(kSessionQualitySection, "JpegQuality", jpegQuality),
      AutoJpegQuality(kSessionQualitySection, "AutoJpegQuality", 1) {}

void SessionQualityConfiguration::Register(ConfigRegistry& registry) {
    registry.Register(Resolution);
    registry.Register(ColorDepth);
    registry.Register(UseJpeg);
    registry.Register(JpegQuality);
    registry.Register(AutoJpegQuality);
}

RecordingConfiguration::RecordingConfiguration()
    : ColorDepth(kRecordingSection, "ColorDepth", 24),
      Resolution(kRecordingSection, "Resolution", ScreenSize{0, 0}),
      OutputPath(kRecordingSection, "OutputPath", GetDefaultRecordingFolder()),
      Codec(kRecordingSection, "Codec", "Microsoft Video 1") {
    SetDefaultColorDepth();
}

void RecordingConfiguration::Register(ConfigRegistry& registry) {
    registry.Register(Resolution);
    registry.Register(ColorDepth);
    registry.Register(OutputPath);
    registry.Register(Codec);
}

void RecordingConfiguration::SetDefaultResolution() {
    Resolution.Set(ScreenSize{0, 0});
}

void RecordingConfiguration::SetDefaultColorDepth() {
    ColorDepth.Set(0);
}

bool RecordingConfiguration::IsDefaultResolution() const {
    return Resolution.Get().cx == 0 || Resolution.Get().cy == 0;
}

bool RecordingConfiguration::IsDefaultColorDepth() const {
    return ColorDepth.Get() == 0;
}

PluginConfiguration::PluginConfiguration()
    : ShowPrivateInfo(kPluginSection, "ShowPrivateInfo", true),
      TabbedInterface(kPluginSection, "TabbedInterface", false),
      EnableDump(kPluginSection, "EnableDump", false),
      ShowPassiveBalloons(kPluginSection, "ShowPassiveBalloons", true),
      ShowActiveBalloons(kPluginSection, "ShowActiveBalloons", true),
      ShowStatusBalloons(kPluginSection, "ShowStatusBalloons", true),
      Effects(kPluginSection, "Effects", true),
      Alpha(kPluginSection, "Alpha", 255),
      AcceptMyAccount(kPluginSection, "AcceptMyAccount", false) {}

void PluginConfiguration::Register(ConfigRegistry& registry) {
    registry.Register(ShowPrivateInfo);
    registry.Register(TabbedInterface);
    registry.Register(EnableDump);
    registry.Register(ShowPassiveBalloons);
    registry.Register(ShowActiveBalloons);
    registry.Register(ShowStatusBalloons);
    registry.Register(Effects);
    registry.Register(Alpha);
    registry.Register(AcceptMyAccount);
}

LoggingConfiguration::LoggingConfiguration()
    : Enabled(kLoggingSection, "Enabled", false),
      LogToFile(kLoggingSection, "LogToFile", true),
      LogToConsole(kLoggingSection, "LogToConsole", false) {}

void LoggingConfiguration::Register(ConfigRegistry& registry) {
    registry.Register(Enabled);
    registry.Register(LogToFile);
    registry.Register(LogToConsole);
}

SharingConfiguration::SharingConfiguration()
    : AllowControl(kSharingSection, "AllowControl", true),
      ServeClipboard(kSharingSection, "ServeClipboard", true) {}

void SharingConfiguration::Register(ConfigRegistry& registry) {
    registry.Register(AllowControl);
    registry.Register(ServeClipboard);
}

std::string GetDefaultRecordingFolder() {
    for (int folder : {CSIDL_MYVIDEO, CSIDL_MYPICTURES, CSIDL_PERSONAL}) {
        char path[MAX_PATH] = {};
        if (SHGetSpecialFolderPathA(nullptr, path, folder, FALSE) && path[0] != '\0') {
            return std::string(path) + "\\" + kRecordingFolderName;
        }
    }
    CORVANE_LOG("Failed to get special folder path");
    return std::string(".\\") + kRecordingFolderName;
}
