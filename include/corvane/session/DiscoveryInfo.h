#pragma once

#include <string>

// What a peer tells about itself in its discovery message.
struct DiscoveryInfo {
    std::string computerName;
    std::string userName;
    int userData = 0;  // carried along for the host; never filled from the system or sent
};
