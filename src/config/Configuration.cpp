#include "config/Configuration.h"

Configuration::Configuration() {
    RegisterGroups();
}

// The base is built empty on purpose: copying its list would point into `other`.
Configuration::Configuration(Configuration const& other)
    : ConfigRegistry(),
      SessionQuality(other.SessionQuality),
      Recording(other.Recording),
      Plugin(other.Plugin),
      Logging(other.Logging),
      Sharing(other.Sharing) {
    RegisterGroups();
}

Configuration& Configuration::operator=(Configuration const& other) {
    SessionQuality = other.SessionQuality;
    Recording = other.Recording;
    Plugin = other.Plugin;
    Logging = other.Logging;
    Sharing = other.Sharing;
    return *this;
}

void Configuration::RegisterGroups() {
    SessionQuality.Register(*this);
    Recording.Register(*this);
    Plugin.Register(*this);
    Logging.Register(*this);
    Sharing.Register(*this);
}
