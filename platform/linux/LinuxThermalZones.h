#pragma once

#include "platform/linux/DeviceEvents.h"
#include "platform/linux/SysFs.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orb::platform {

// What a zone measures, told from its type by the names the kernel's drivers and device trees
// give zones (see ZoneKind's table in LinuxThermalZones.cpp).
enum class ZoneKind { Processor, Graphics, Other };
ZoneKind zoneKind(std::string_view type);

// A trip point of a zone: the temperature at which the kernel acts ("passive" slows the
// processor, "active" starts a fan, "hot" and "critical" warn or shut down).
struct ThermalTrip {
    std::string type;
    std::int64_t millidegrees = 0;
};

// One entry of /sys/class/thermal named thermal_zoneN.
struct ThermalZone {
    std::string name; // "thermal_zone0"
    std::string type; // "acpitz", "x86_pkg_temp", "iwlwifi_1"
    std::string devicePath;
    // Empty when the zone cannot be read or what it reads cannot be a temperature.
    std::optional<std::int64_t> millidegrees;
    // Only the trips that can fire: firmware fills unused slots with 0 or with values at or
    // below absolute zero.
    std::vector<ThermalTrip> trips;
    ZoneKind kind = ZoneKind::Other;
    // Another reader presents the same sensor: the processor's package zone where coretemp
    // gives it, or a battery's own zone, whose temperature comes with the battery.
    bool shownElsewhere = false;
};

// Whether a zone's reading is a temperature: a machine's zones never sit at or below 0 °C, and
// 200 °C is past any part's shutdown. Firmware writes -44 °C, 0 or -273.15 °C for a sensor that
// is missing or not yet read.
bool isPlausibleZoneTemperature(std::int64_t millidegrees);

// Reads the zones at most once per reuse window, so that the zone services and the thermal
// state of one tick share one pass. Per pass each zone's `temp` is read with one call; its
// type, device path, hwmon twin and trip points are looked up when the zone first appears,
// and the trips again every `tripRefreshPasses` passes (firmware may move them, rarely).
class ThermalZoneReader {
public:
    explicit ThermalZoneReader(
        std::string root, std::chrono::milliseconds reuseWindow = std::chrono::milliseconds(50));
    const std::vector<ThermalZone>& zones();

    static constexpr int tripRefreshPasses = 60;

private:
    struct Layout {
        std::uint64_t inode = 0;
        std::string type;
        std::string devicePath;
        ZoneKind kind = ZoneKind::Other;
        bool shownElsewhere = false;
        std::vector<ThermalTrip> trips;
        int passesSinceTrips = 0;
    };
    void describe(const std::string& dir, const std::string& name, Layout& layout);

    std::string root_;
    linux_fs::ReuseWindow reuse_;
    linux_fs::ClassListing listing_;
    std::vector<ThermalZone> zones_;
    std::map<std::string, Layout, std::less<>> layouts_;
};

// A zone's reading as a temperature sensor shows it: from 1 °C to below 150 °C. Below that it is
// a sensor not yet read, above it a limit or a fault.
bool isShownZoneTemperature(std::int64_t millidegrees);

} // namespace orb::platform
