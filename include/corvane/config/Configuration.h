#pragma once

#include "CorvaneApi.h"

#include "config/ConfigGroups.h"
#include "config/ConfigRegistry.h"

// All settings of the library. Its registry lists the 23 values of its own groups:
// session quality, recording, plug-in, logging, sharing, each group in its registration order.
// Not locked: the sessions read it on "SkypeEvent" when a negotiation starts, so change it on
// the thread that runs the operations ("SkypeEvent" for posted ones) or before attaching. The
// host owns it; it must outlive the SessionManager given it.
class CORVANE_API Configuration : public ConfigRegistry {
public:
    Configuration();
    // The copy's registry lists the copy's own values, in the same order.
    Configuration(Configuration const& other);
    // Assigns every value; the registry stays as it is.
    Configuration& operator=(Configuration const& other);

    SessionQualityConfiguration SessionQuality;
    RecordingConfiguration Recording;
    PluginConfiguration Plugin;
    LoggingConfiguration Logging;
    SharingConfiguration Sharing;

private:
    void RegisterGroups();
};
