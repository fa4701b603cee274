#include "platform/linux/LinuxWiFi.h"

#include "platform/linux/Nl80211.h"
#include "platform/linux/SysFs.h"

#include <algorithm>
#include <chrono>
#include <net/if.h>

namespace orb::platform {

namespace fs = linux_fs;

namespace {

// A level column: a number followed by '.' when the driver updated it since the last read.
// Only negative numbers are dBm; the kernel prints -256 for a dBm level of "unknown", and
// drivers reporting relative levels print 0..255.
std::optional<int> parseLevel(std::string_view field) {
    if (!field.empty() && field.back() == '.')
        field.remove_suffix(1);
    auto value = fs::parseInt(field);
    if (!value || *value >= 0 || *value <= -256)
        return std::nullopt;
    return static_cast<int>(*value);
}

bool isInterfaceName(std::string_view name) {
    if (name.empty())
        return false;
    for (char c : name)
        if (c == ' ' || c == '\t' || c == '|' || c == '/')
            return false;
    return true;
}

unsigned interfaceIndex(const std::string& name, const std::string& directory) {
    auto index = fs::readInt(directory + "/ifindex");
    if (index && *index > 0 && *index <= 0x7fffffff)
        return static_cast<unsigned>(*index);
    return ::if_nametoindex(name.c_str());
}

} // namespace

std::optional<WiFiQuery::Interface> WiFiQuery::defaultWirelessInterface() {
    // The first wireless interface that is up, else the first by name. A host may have a
    // thousand interfaces: they are listed again only every few seconds (a Wi-Fi adapter that is
    // plugged in shows within that time) or when a wireless one went away, and whether an
    // interface is wireless is looked up once per name.
    const std::string net = fs::underRoot(root_, "/sys/class/net");
    const auto now = std::chrono::steady_clock::now();
    if (lastScan_ == std::chrono::steady_clock::time_point{} || now - lastScan_ >= rescanEvery) {
        lastScan_ = now;
        const auto names = fs::listDirectory(net);
        std::erase_if(isWireless_, [&](const auto& known) {
            return !std::binary_search(names.begin(), names.end(), known.first);
        });
        wirelessNames_.clear();
        for (const auto& name : names) {
            auto [known, added] = isWireless_.try_emplace(name, false);
            if (added) {
                known->second = fs::entryExists(net + "/" + name + "/wireless") ||
                                fs::entryExists(net + "/" + name + "/phy80211");
            }
            if (known->second)
                wirelessNames_.push_back(name);
        }
    }
    std::optional<Interface> first;
    for (const auto& name : wirelessNames_) {
        Interface candidate{name, net + "/" + name};
        const auto state = fs::readLine(candidate.directory + "/operstate");
        if (state == "up")
            return candidate;
        if (!state)
            lastScan_ = {}; // gone (or a tree without states): list again next time
        if (!first)
            first = std::move(candidate);
    }
    return first;
}

std::vector<WirelessStatsLine> parseWirelessStats(std::string_view text) {
    std::vector<WirelessStatsLine> lines;
    fs::forEachLine(text, [&](std::string_view line) {
        // "  wlan0: 0000   70.  -40.  -256  ..." after two header lines without a colon.
        auto colon = line.find(':');
        if (colon == std::string_view::npos)
            return;
        auto name = fs::trim(line.substr(0, colon));
        if (!isInterfaceName(name))
            return;
        auto fields = fs::splitFields(line.substr(colon + 1));
        WirelessStatsLine entry{std::string(name), std::nullopt, std::nullopt};
        // Fields: status, link quality, level, noise, then discarded-packet counters.
        if (fields.size() > 2)
            entry.signal = parseLevel(fields[2]);
        if (fields.size() > 3)
            entry.noise = parseLevel(fields[3]);
        lines.push_back(std::move(entry));
    });
    return lines;
}

WiFiQuery::WiFiQuery(std::string root) : root_(std::move(root)) {
    if (root_.empty() || root_ == "/")
        nl80211_ = std::make_unique<Nl80211Client>();
}

WiFiQuery::~WiFiQuery() = default;

std::optional<WiFiLink> WiFiQuery::read() {
    auto interface = defaultWirelessInterface();

    std::vector<WirelessStatsLine> stats;
    bool statsRead = false;
    auto statsLine = [&]() -> const WirelessStatsLine* {
        if (!statsRead) {
            statsRead = true;
            if (auto text = fs::readFile(fs::underRoot(root_, "/proc/net/wireless"),
                                         std::size_t(256) * 1024))
                stats = parseWirelessStats(*text);
        }
        if (!interface)
            return stats.empty() ? nullptr : &stats.front();
        for (const auto& line : stats)
            if (line.interface == interface->name)
                return &line;
        return nullptr;
    };

    if (!interface) {
        // No wireless interface in sysfs (a trimmed-down /sys, or a fixture tree): the statistics
        // file still names any that exist.
        const auto* line = statsLine();
        if (!line)
            return std::nullopt;
        return WiFiLink{line->signal.value_or(0), line->noise.value_or(0), 0, 0};
    }

    WiFiLink link;
    if (nl80211_) {
        if (auto reading = nl80211_->read(interfaceIndex(interface->name, interface->directory))) {
            link.rssi = reading->signal.value_or(0);
            link.noise = reading->noise.value_or(0);
            link.txRate = reading->txRate.value_or(0);
            link.channel = reading->frequency ? channelFromFrequency(*reading->frequency) : 0;
        }
    }
    // Whatever nl80211 left out (no survey support is common for noise) may still be here.
    if (link.rssi == 0 || link.noise == 0) {
        if (const auto* line = statsLine()) {
            if (link.rssi == 0)
                link.rssi = line->signal.value_or(0);
            if (link.noise == 0)
                link.noise = line->noise.value_or(0);
        }
    }
    return link;
}

LinuxWiFi::LinuxWiFi(std::string root)
    : query_(std::move(root)),
      // Without a wireless interface the worker looks again as often as interfaces are listed
      // again, rather than on every tick.
      background_([this] { return query_.read(); }, "orbimeter-wifi",
                  [](const std::optional<WiFiLink>& link) { return !link; },
                  WiFiQuery::rescanEvery) {}

LinuxWiFi::~LinuxWiFi() = default;

std::optional<WiFiLink> LinuxWiFi::defaultInterface() {
    return background_.take();
}

} // namespace orb::platform
