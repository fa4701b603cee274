#include "platform/linux/LinuxThermalZones.h"

#include "platform/linux/SysFs.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orb::platform {

namespace fs = linux_fs;

namespace {

constexpr std::string_view classDirectory = "/sys/class/thermal";
constexpr std::string_view zonePrefix = "thermal_zone";

// The number after `prefix` in a name such as "thermal_zone12"; empty for any other name.
std::optional<int> numberAfter(std::string_view name, std::string_view prefix,
                               std::string_view suffix = {}) {
    if (!name.starts_with(prefix) || !name.ends_with(suffix))
        return std::nullopt;
    name = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    const auto number = fs::parseInt(name);
    if (!number || *number < 0 || name.empty() || name.front() < '0' || name.front() > '9')
        return std::nullopt;
    return static_cast<int>(*number);
}

// hwmon names cannot hold '-', so the thermal core registers "cpu-thermal" as "cpu_thermal".
std::string hwmonSpelling(std::string name) {
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

// The names of the hwmon chips, as the hwmon readers see them.
std::vector<std::string> hwmonChipNames(const std::string& root) {
    std::vector<std::string> names;
    const auto classDir = fs::underRoot(root, "/sys/class/hwmon");
    for (const auto& chip : fs::listDirectory(classDir)) {
        if (auto name = fs::readAttribute(classDir + "/" + chip + "/name"))
            names.push_back(hwmonSpelling(std::move(*name)));
    }
    return names;
}

// Whether the zone's sensor reaches the table through the controller keys already. The thermal
// core registers most zones as hwmon chips too; the hwmon readers leave those chips alone, so
// the zone is presented here, except where a processor channel stands for it.
bool hasHwmonTwin(const std::string& type, const std::vector<std::string>& hwmonChips) {
    auto present = [&](std::string_view chip) {
        return std::find(hwmonChips.begin(), hwmonChips.end(), chip) != hwmonChips.end();
    };
    // The package zone reads the same processor register as coretemp's "Package id N".
    if (type == "x86_pkg_temp")
        return present("coretemp");
    // On ARM boards the processor's zone is the CPU temperature itself.
    return hwmonSpelling(type) == "cpu_thermal" && present("cpu_thermal");
}

// A trip at or below 0 °C never fires on a running machine: firmware leaves 0, or a value at or
// below absolute zero, in the slots it does not use.
std::vector<ThermalTrip> readTrips(const std::string& dir, const std::vector<std::string>& files) {
    std::vector<std::pair<int, ThermalTrip>> numbered;
    for (const auto& file : files) {
        const auto index = numberAfter(file, "trip_point_", "_type");
        if (!index)
            continue;
        const auto stem = dir + "trip_point_" + std::to_string(*index);
        auto type = fs::readAttribute(stem + "_type");
        const auto temperature = readAttributeNumber(stem + "_temp");
        if (type && temperature && *temperature > 0)
            numbered.emplace_back(*index, ThermalTrip{std::move(*type), *temperature});
    }
    // ACPI zones without a passive trip of their own take one written to `passive`; 0 is off.
    if (std::binary_search(files.begin(), files.end(), std::string_view("passive"))) {
        if (const auto passive = readAttributeNumber(dir + "passive"); passive && *passive > 0)
            numbered.emplace_back(-1, ThermalTrip{"passive", *passive});
    }
    std::sort(numbered.begin(), numbered.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<ThermalTrip> trips;
    for (auto& [index, trip] : numbered)
        trips.push_back(std::move(trip));
    return trips;
}

} // namespace

std::optional<std::int64_t> readAttributeNumber(const std::string& path) {
    const auto text = fs::readAttribute(path);
    return text ? fs::parseInt(*text) : std::nullopt;
}

bool isPlausibleZoneTemperature(std::int64_t millidegrees) {
    return millidegrees > 0 && millidegrees < 200'000;
}

ThermalZoneReader::ThermalZoneReader(std::string root, std::chrono::milliseconds reuseWindow)
    : root_(std::move(root)), reuse_(reuseWindow),
      listing_(fs::underRoot(root_, classDirectory), "thermal", fs::DeviceEvents::forRoot(root_)) {}

void ThermalZoneReader::describe(const std::string& dir, const std::string& name, Layout& layout,
                                 const std::vector<std::string>& hwmonChips) {
    layout.type = fs::readAttribute(dir + "type").value_or("");
    layout.devicePath = kernelDevicePath(root_, std::string(classDirectory) + "/" + name);
    layout.readThroughHwmon = hasHwmonTwin(layout.type, hwmonChips);
    layout.trips = readTrips(dir, fs::listDirectory(dir));
    layout.passesSinceTrips = 0;
}

const std::vector<ThermalZone>& ThermalZoneReader::zones() {
    if (!reuse_.due())
        return zones_;
    zones_.clear();

    const auto classDir = fs::underRoot(root_, classDirectory);
    std::vector<std::pair<int, std::string>> names;
    for (const auto& entry : listing_.entries()) {
        if (const auto number = numberAfter(entry, zonePrefix))
            names.emplace_back(*number, entry);
    }
    std::sort(names.begin(), names.end());
    std::erase_if(layouts_, [&](const auto& layout) {
        return std::none_of(names.begin(), names.end(),
                            [&](const auto& entry) { return entry.second == layout.first; });
    });

    std::optional<std::vector<std::string>> hwmonChips; // listed once, when a zone is new
    for (const auto& [number, name] : names) {
        const auto dir = classDir + "/" + name + "/";
        struct stat status {};
        if (!fs::statInsideRoot(dir, status) || !S_ISDIR(status.st_mode)) {
            layouts_.erase(name);
            listing_.invalidate();
            continue;
        }
        Layout& layout = layouts_[name];
        if (layout.inode != status.st_ino) {
            layout.inode = status.st_ino;
            if (!hwmonChips)
                hwmonChips = hwmonChipNames(root_);
            describe(dir, name, layout, *hwmonChips);
        } else if (++layout.passesSinceTrips >= tripRefreshPasses) {
            layout.trips = readTrips(dir, fs::listDirectory(dir));
            layout.passesSinceTrips = 0;
        }
        ThermalZone zone{name,
                         layout.type,
                         layout.devicePath,
                         readAttributeNumber(dir + "temp"),
                         layout.trips,
                         layout.readThroughHwmon};
        if (zone.millidegrees && !isPlausibleZoneTemperature(*zone.millidegrees))
            zone.millidegrees.reset();
        zones_.push_back(std::move(zone));
    }
    return zones_;
}

LinuxThermalZones::LinuxThermalZones(std::shared_ptr<ThermalZoneReader> reader)
    : reader_(std::move(reader)) {}

std::vector<std::unique_ptr<RegistryService>> LinuxThermalZones::services() {
    std::vector<std::unique_ptr<RegistryService>> services;
    std::map<std::string, int, std::less<>> seen; // zones of each type so far
    for (const auto& zone : reader_->zones()) {
        const int ordinal = ++seen[zone.type];
        if (!zone.millidegrees || zone.readThroughHwmon || zone.type.empty())
            continue;
        // Hundredths of a degree, rounded, as the registry's temperature sensors give them.
        const std::int64_t hundredths = (*zone.millidegrees + 5) / 10;
        PropertyTable properties;
        properties.set(std::string(thermal_sensor::nameKey),
                       ordinal == 1 ? zone.type : zone.type + " " + std::to_string(ordinal));
        properties.set(std::string(thermal_sensor::temperatureKey), hundredths);
        services.push_back(std::make_unique<SnapshotService>(registryEntryId(zone.devicePath),
                                                             std::move(properties)));
    }
    return services;
}

} // namespace orb::platform
