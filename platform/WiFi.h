#pragma once

#include <optional>

namespace orb::platform {

// Link readings of the default Wi-Fi interface.
struct WiFiLink {
    int rssi = 0;      // dBm
    int noise = 0;     // dBm
    double txRate = 0; // Mbit/s
    int channel = 0;   // 0 when the interface reports no current channel
};

class WiFi {
public:
    virtual ~WiFi() = default;
    // The default Wi-Fi interface's readings; empty when the machine has no Wi-Fi interface.
    // Never waits: an implementation whose query can take long answers with the result of the
    // last query it completed (empty before the first) and starts the next one.
    virtual std::optional<WiFiLink> defaultInterface() = 0;
};

} // namespace orb::platform
