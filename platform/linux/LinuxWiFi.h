#pragma once

#include "platform/WiFi.h"
#include "platform/linux/BackgroundQuery.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
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

// One Wi-Fi reading on Linux, taken on the caller's thread. The interfaces come from sysfs; on
// the live system (root "/") the readings come from nl80211, and otherwise, or when nl80211
// cannot answer, from /proc/net/wireless, which has no channel or transmit rate. A reading can
// wait for the kernel for up to Nl80211Client::kReplyBudget.
class WiFiQuery {
public:
    // How often the interfaces are listed again: a Wi-Fi adapter plugged in shows within it.
    static constexpr std::chrono::seconds rescanEvery{5};

    explicit WiFiQuery(std::string root = "/");
    ~WiFiQuery();
    std::optional<WiFiLink> read();

private:
    struct Interface {
        std::string name;
        std::string directory;
    };
    std::optional<Interface> defaultWirelessInterface();

    std::string root_;
    std::unique_ptr<Nl80211Client> nl80211_; // only for the live system
    std::unordered_map<std::string, bool> isWireless_;
    std::vector<std::string> wirelessNames_; // sorted
    std::chrono::steady_clock::time_point lastScan_;
};

// Wi-Fi readings that never hold up the caller: the query runs on a thread of its own, started
// at construction, and each call answers with the last reading it completed and asks for the
// next one.
class LinuxWiFi final : public WiFi {
public:
    explicit LinuxWiFi(std::string root = "/");
    ~LinuxWiFi() override; // waits for a query under way

    std::optional<WiFiLink> defaultInterface() override;

private:
    WiFiQuery query_; // used on the worker thread only
    BackgroundQuery<std::optional<WiFiLink>> background_;
};

} // namespace orb::platform
