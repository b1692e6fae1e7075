#pragma once

#include "CorvaneApi.h"

#include <string>

#include "config/ConfigRegistry.h"
#include "config/ConfigValue.h"
#include "config/IConfigValuesSet.h"

// The setting groups, one per INI section. Their values are public fields: callers read and
// set them directly (`quality.ColorDepth.Get()`). Copying or assigning a group copies its
// values one by one; a group registered in a registry must outlive it.

// Section "SessionQuality". Also a plain record: sessions, states and the negotiation
// messages carry one by value.
class CORVANE_API SessionQualityConfiguration : public IConfigValuesSet {
public:
    // 800x600 stands in for a resolution whose width or height is 0.
    static constexpr ScreenSize kFallbackResolution = {800, 600};

    // ((0,0), 16, true, 50)
    SessionQualityConfiguration();
    SessionQualityConfiguration(ScreenSize resolution, int colorDepth, bool useJpeg, int jpegQuality);

    // Resolution, ColorDepth, UseJpeg, JpegQuality, AutoJpegQuality.
    void Register(ConfigRegistry& registry) override;

    ColorDepthConfigValue ColorDepth;
    SizeConfigValue Resolution;
    BoolConfigValue UseJpeg;
    IntConfigValue JpegQuality;
    IntConfigValue AutoJpegQuality;
};

// Section "Recording". A resolution or colour depth of 0 means "not chosen": the recorder
// picks one then.
class CORVANE_API RecordingConfiguration : public IConfigValuesSet {
public:
    // The output folder defaults to "CorvaneRecordedSessions" in the user's videos, else
    // pictures, else documents folder, else ".\CorvaneRecordedSessions".
    RecordingConfiguration();

    // Resolution, ColorDepth, OutputPath, Codec.
    void Register(ConfigRegistry& registry) override;

    void SetDefaultResolution();
    void SetDefaultColorDepth();
    bool IsDefaultResolution() const;
    bool IsDefaultColorDepth() const;

    ColorDepthConfigValue ColorDepth;  // default 24, but 0 after construction
    SizeConfigValue Resolution;
    StringConfigValue OutputPath;
    StringConfigValue Codec;
};

// Section "Plugin": mostly read by the user-interface module.
class CORVANE_API PluginConfiguration : public IConfigValuesSet {
public:
    PluginConfiguration();

    // In declaration order.
    void Register(ConfigRegistry& registry) override;

    BoolConfigValue ShowPrivateInfo;
    BoolConfigValue TabbedInterface;
    BoolConfigValue EnableDump;
    BoolConfigValue ShowPassiveBalloons;
    BoolConfigValue ShowActiveBalloons;
    BoolConfigValue ShowStatusBalloons;
    BoolConfigValue Effects;
    IntConfigValue Alpha;
    BoolConfigValue AcceptMyAccount;
};

// Section "Logging".
class CORVANE_API LoggingConfiguration : public IConfigValuesSet {
public:
    LoggingConfiguration();

    // In declaration order.
    void Register(ConfigRegistry& registry) override;

    BoolConfigValue Enabled;
    BoolConfigValue LogToFile;
    BoolConfigValue LogToConsole;
};

// Section "Sharing": what a viewer of our desktop may do, unless our user says otherwise for
// one sharing (ISession::SetViewerControl).
class CORVANE_API SharingConfiguration : public IConfigValuesSet {
public:
    SharingConfiguration();

    // In declaration order.
    void Register(ConfigRegistry& registry) override;

    BoolConfigValue AllowControl;    // the viewer's input and clipboard reach this machine
    BoolConfigValue ServeClipboard;  // the viewer gets our clipboard when he asks, control or not
};

// The folder recordings go to when the configuration names none.
std::string GetDefaultRecordingFolder();
