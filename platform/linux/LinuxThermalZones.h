#pragma once

#include "platform/linux/DeviceEvents.h"
#include "platform/linux/SysFs.h"

#include "platform/linux/LinuxDeviceRegistry.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orb::platform {

// The registry class and keys of the thermal-zone services: one per zone of
// /sys/class/thermal, presented as an embedded temperature sensor.
namespace thermal_sensor {
inline constexpr std::string_view serviceClass = "AppleEmbeddedTempSensor";
inline constexpr std::string_view nameKey = "name";               // text: the zone's type
inline constexpr std::string_view temperatureKey = "Temperature"; // integer, 0.01 °C
} // namespace thermal_sensor

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
    // The same sensor is also a hwmon chip (the thermal core's own chip for the zone, or the
    // processor's package sensor), so the hwmon readers already present it.
    bool readThroughHwmon = false;
};

// A sysfs attribute holding one number, read with one call; empty when it cannot be read (a
// sensor that cannot answer fails the read) or holds no number.
std::optional<std::int64_t> readAttributeNumber(const std::string& path);

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
        bool readThroughHwmon = false;
        std::vector<ThermalTrip> trips;
        int passesSinceTrips = 0;
    };
    void describe(const std::string& dir, const std::string& name, Layout& layout,
                  const std::vector<std::string>& hwmonChips);

    std::string root_;
    linux_fs::ReuseWindow reuse_;
    linux_fs::ClassListing listing_;
    std::vector<ThermalZone> zones_;
    std::map<std::string, Layout, std::less<>> layouts_;
};

// The thermal-zone services. A zone is left out when its reading is not a temperature or when
// the hwmon readers present the same sensor. Zones of one type are told apart by number: the
// first keeps the type as its name, the next are "<type> 2", "<type> 3", in zone order.
class LinuxThermalZones final : public ServiceSource {
public:
    explicit LinuxThermalZones(std::shared_ptr<ThermalZoneReader> reader);
    std::vector<std::unique_ptr<RegistryService>> services() override;
    std::string_view subsystem() const override { return "thermal"; }

private:
    std::shared_ptr<ThermalZoneReader> reader_;
};

} // namespace orb::platform
