#include "platform/linux/LinuxThermalState.h"

#include "platform/linux/SysFs.h"

#include <algorithm>

namespace orb::platform {

namespace fs = linux_fs;

namespace {

constexpr std::int64_t criticalMargin = 5'000; // millidegrees below a critical trip
constexpr std::int64_t passiveMargin = 10'000; // millidegrees below a passive trip

// Every thermal_throttle/*_count file of the processors ("core_throttle_count",
// "package_throttle_count"; the *_time_ms files beside them are durations, not counts).
std::vector<std::string> throttleCounterFiles(const std::string& root) {
    std::vector<std::string> files;
    const auto cpuDir = fs::underRoot(root, "/sys/devices/system/cpu");
    for (const auto& cpu : fs::listDirectory(cpuDir)) {
        if (!cpu.starts_with("cpu") || cpu.size() == 3 || cpu[3] < '0' || cpu[3] > '9')
            continue;
        const auto dir = cpuDir + "/" + cpu + "/thermal_throttle/";
        for (const auto& file : fs::listDirectory(dir)) {
            if (file.ends_with("_count"))
                files.push_back(dir + file);
        }
    }
    return files;
}

} // namespace

LinuxThermalState::LinuxThermalState(std::string root, std::shared_ptr<ThermalZoneReader> zones)
    : root_(std::move(root)), zones_(std::move(zones)) {}

ThermalStateLevel LinuxThermalState::zoneLevel(const ThermalZone& zone) {
    if (!zone.millidegrees)
        return thermalNominal;
    const auto t = *zone.millidegrees;
    ThermalStateLevel level = thermalNominal;
    for (const auto& trip : zone.trips) {
        if (trip.type == "hot" || trip.type == "critical") {
            const auto margin = trip.type == "critical" ? criticalMargin : 0;
            if (t >= trip.millidegrees - margin)
                level = std::max(level, thermalCritical);
        } else if (trip.type == "passive") {
            if (t >= trip.millidegrees)
                level = std::max(level, thermalSerious);
            else if (t >= trip.millidegrees - passiveMargin)
                level = std::max(level, thermalFair);
        }
    }
    return level;
}

std::optional<bool> LinuxThermalState::countersRose() {
    if (!listed_ || readsSinceListing_ >= counterRelistReads) {
        counterFiles_ = throttleCounterFiles(root_);
        listed_ = true;
        readsSinceListing_ = 0;
    }
    ++readsSinceListing_;
    bool anyRead = false;
    bool rose = false;
    for (const auto& file : counterFiles_) {
        const auto count = fs::readAttributeNumber(file);
        if (!count || *count < 0) {
            listed_ = false; // a processor went offline: list again next time
            continue;
        }
        anyRead = true;
        const auto value = static_cast<std::uint64_t>(*count);
        const auto [previous, isNew] = lastCounts_.try_emplace(file, value);
        if (!isNew) {
            rose = rose || value > previous->second;
            previous->second = value;
        }
    }
    if (!anyRead)
        return std::nullopt;
    return rose;
}

ThermalStateLevel LinuxThermalState::thermalState() {
    bool readSomething = false;
    ThermalStateLevel level = thermalNominal;
    for (const auto& zone : zones_->zones()) {
        if (!zone.millidegrees)
            continue;
        readSomething = true;
        level = std::max(level, zoneLevel(zone));
    }
    const auto rose = countersRose();
    if (rose) {
        readSomething = true;
        if (*rose)
            level = std::max(level, roseLastRead_ ? thermalSerious : thermalFair);
    }
    roseLastRead_ = rose.value_or(false);
    return readSomething ? level : thermalUnknown;
}

} // namespace orb::platform
