#pragma once

#include "platform/WiFi.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orb::platform {

class Nl80211Client;

// One interface's line of /proc/net/wireless. Levels are kept only when the driver reports them
// in dBm; relative levels and the "unknown" marker leave them empty.
struct WirelessStatsLine {
    std::string interface;
    std::optional<int> signal; // dBm
    std::optional<int> noise;  // dBm
};

// Parses /proc/net/wireless; header lines and malformed lines are skipped.
std::vector<WirelessStatsLine> parseWirelessStats(std::string_view text);

// Wi-Fi readings on Linux. The interfaces come from sysfs; on the live system (root "/") the
// readings come from nl80211, and otherwise, or when nl80211 cannot answer, from
// /proc/net/wireless, which has no channel or transmit rate.
class LinuxWiFi final : public WiFi {
public:
    explicit LinuxWiFi(std::string root = "/");
    ~LinuxWiFi() override;

    std::optional<WiFiLink> defaultInterface() override;

private:
    std::string root_;
    std::unique_ptr<Nl80211Client> nl80211_; // only for the live system
};

} // namespace orb::platform
