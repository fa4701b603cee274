#include "platform/linux/LinuxThermalZones.h"

#include "platform/linux/LinuxDeviceRegistry.h"
#include "platform/linux/SysFs.h"

#include <algorithm>
#include <cctype>
#include <fcntl.h>
#include <unistd.h>

namespace orb::platform {

namespace fs = linux_fs;

namespace {

constexpr std::string_view thermalClassDirectory = "/sys/class/thermal";
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

bool hasHwmonChip(const std::string& root, std::string_view name) {
    const auto classDir = fs::underRoot(root, "/sys/class/hwmon");
    return std::ranges::any_of(fs::listDirectory(classDir), [&](const std::string& chip) {
        return fs::readAttribute(classDir + "/" + chip + "/name") == name;
    });
}

// The package zone reads the same register as coretemp's "Package id N"; a battery's zone is
// named after its power supply, whose reader gives its temperature.
bool isShownElsewhere(const std::string& root, const std::string& type) {
    if (type == "x86_pkg_temp")
        return hasHwmonChip(root, "coretemp");
    return !type.empty() && type.find('/') == std::string::npos &&
           fs::entryExists(fs::underRoot(root, "/sys/class/power_supply/" + type));
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
        const auto temperature = fs::readAttributeNumber(stem + "_temp");
        if (type && temperature && *temperature > 0)
            numbered.emplace_back(*index, ThermalTrip{std::move(*type), *temperature});
    }
    // ACPI zones without a passive trip of their own take one written to `passive`; 0 is off.
    if (std::binary_search(files.begin(), files.end(), std::string_view("passive"))) {
        if (const auto passive = fs::readAttributeNumber(dir + "passive"); passive && *passive > 0)
            numbered.emplace_back(-1, ThermalTrip{"passive", *passive});
    }
    std::sort(numbered.begin(), numbered.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<ThermalTrip> trips;
    trips.reserve(numbered.size());
    for (auto& [index, trip] : numbered)
        trips.push_back(std::move(trip));
    return trips;
}

} // namespace

// The kernel names a zone after the device-tree node that describes it ("bigcore0-thermal"),
// or, without one, after its driver or ACPI object ("bcm2835_thermal", "x86_pkg_temp",
// "acpitz"). Device-tree zones name the block they sit on, so the start of the name tells
// what they measure; matched on the lower-cased type with '_' read as '-':
//
//   start of the type                       kind        where
//   cpu (cpu-thermal, cpu4-top-thermal,     Processor   Broadcom, Allwinner, Amlogic, NXP,
//        cpu-little0-thermal, cpuss0-thermal)           Qualcomm, MediaTek, Samsung, NVIDIA
//   bigcore, littlecore, midcore,           Processor   Rockchip (one zone per cluster),
//   cluster, soc-thermal, package-thermal               Qualcomm (cluster0-thermal); Rockchip
//                                                       and NXP name the SoC's own sensor
//                                                       soc-thermal or package-thermal
//   bcm2835-thermal, bcm2711-thermal        Processor   Raspberry Pi kernels without a
//                                                       device-tree zone
//   x86-pkg-temp, soc-dts                   Processor   Intel's package sensor (Core, Atom)
//   gpu (gpu-thermal, gpu1-thermal,         Graphics    every SoC family above
//        gpu-thermal-top, gpuss0-thermal),
//   mali
//   anything else                           Other       ACPI zones, chipset, Wi-Fi, skin, ...
ZoneKind zoneKind(std::string_view type) {
    std::string name(type);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) {
        return c == '_' ? '-' : static_cast<char>(std::tolower(c));
    });
    static constexpr std::pair<std::string_view, ZoneKind> starts[] = {
        {"cpu", ZoneKind::Processor},
        {"bigcore", ZoneKind::Processor},
        {"littlecore", ZoneKind::Processor},
        {"midcore", ZoneKind::Processor},
        {"cluster", ZoneKind::Processor},
        {"soc-thermal", ZoneKind::Processor},
        {"package-thermal", ZoneKind::Processor},
        {"bcm2835-thermal", ZoneKind::Processor},
        {"bcm2711-thermal", ZoneKind::Processor},
        {"x86-pkg-temp", ZoneKind::Processor},
        {"soc-dts", ZoneKind::Processor},
        {"gpu", ZoneKind::Graphics},
        {"mali", ZoneKind::Graphics},
    };
    for (const auto& [start, kind] : starts)
        if (name.starts_with(start))
            return kind;
    return ZoneKind::Other;
}

bool isPlausibleZoneTemperature(std::int64_t millidegrees) {
    return millidegrees > 0 && millidegrees < 200'000;
}

bool isShownZoneTemperature(std::int64_t millidegrees) {
    return millidegrees >= 1'000 && millidegrees < 150'000;
}

ThermalZoneReader::ThermalZoneReader(std::string root, std::chrono::milliseconds reuseWindow)
    : root_(std::move(root)), reuse_(reuseWindow),
      listing_(fs::underRoot(root_, thermalClassDirectory), "thermal",
               fs::DeviceEvents::forRoot(root_)) {}

void ThermalZoneReader::describe(const std::string& dir, const std::string& name, Layout& layout) {
    layout.type = fs::readAttribute(dir + "type").value_or("");
    layout.devicePath = kernelDevicePath(root_, std::string(thermalClassDirectory) + "/" + name);
    layout.kind = zoneKind(layout.type);
    layout.shownElsewhere = isShownElsewhere(root_, layout.type);
    layout.trips = readTrips(dir, fs::listDirectory(dir));
    layout.passesSinceTrips = 0;
}

const std::vector<ThermalZone>& ThermalZoneReader::zones() {
    if (!reuse_.due())
        return zones_;
    zones_.clear();

    const auto classDir = fs::underRoot(root_, thermalClassDirectory);
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

    for (const auto& [number, name] : names) {
        const auto dir = classDir + "/" + name + "/";
        const auto inode = listing_.folderInode(dir);
        if (!inode) {
            layouts_.erase(name);
            continue;
        }
        Layout& layout = layouts_[name];
        if (layout.inode != *inode) {
            layout.inode = *inode;
            describe(dir, name, layout);
        } else if (++layout.passesSinceTrips >= tripRefreshPasses) {
            layout.trips = readTrips(dir, fs::listDirectory(dir));
            layout.passesSinceTrips = 0;
        }
        ThermalZone zone{
            name,         layout.type, layout.devicePath,    fs::readAttributeNumber(dir + "temp"),
            layout.trips, layout.kind, layout.shownElsewhere};
        if (zone.millidegrees && !isPlausibleZoneTemperature(*zone.millidegrees))
            zone.millidegrees.reset();
        zones_.push_back(std::move(zone));
    }
    return zones_;
}

} // namespace orb::platform
