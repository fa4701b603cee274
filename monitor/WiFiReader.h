#pragma once

#include "platform/WiFi.h"

#include <optional>

namespace orb {

// The default Wi-Fi interface's link. The platform answers without waiting (with its last
// completed query where a query takes long), so the reader keeps no state of its own.
class WiFiReader {
public:
    explicit WiFiReader(platform::WiFi& wifi) : wifi_(wifi) {}
    // Empty without a Wi-Fi interface (or before the platform's first reading): the fields keep
    // their values.
    std::optional<platform::WiFiLink> read();

private:
    platform::WiFi& wifi_;
};

} // namespace orb
