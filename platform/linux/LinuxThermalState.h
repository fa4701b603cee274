#pragma once

#include "platform/ThermalState.h"
#include "platform/linux/LinuxThermalZones.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orb::platform {

// The thermal state on Linux, from the thermal zones' trip points and the processors'
// throttle counters. The state is the highest of:
//
//   Critical  a zone at or above a "hot" or "critical" trip, or within 5 °C of a critical one;
//   Serious   a zone at or above a "passive" trip (the kernel is slowing the processor for it),
//             or throttle counters that rose on this read and the one before;
//   Fair      a zone within 10 °C of a passive trip, or throttle counters that rose since the
//             last read;
//   Nominal   otherwise.
//
// "active" trips only start fans, so they never raise the state. Trips at or below 0 °C are
// unused slots (see ThermalZone). Zones whose reading is not a temperature count as unread.
// Unknown only when no zone and no counter can be read at all.
//
// Throttle counters are /sys/devices/system/cpu/cpuN/thermal_throttle/*_count: the processor
// counts each time it crosses its own thermal limit and slows itself. Only a rise counts, so
// on the first read the zones alone decide.
class LinuxThermalState final : public ThermalState {
public:
    // The zone reader may be shared with the zone services, so a tick reads each zone once.
    LinuxThermalState(std::string root, std::shared_ptr<ThermalZoneReader> zones);
    ThermalStateLevel thermalState() override;

    // The rule above for one zone, without the counters.
    static ThermalStateLevel zoneLevel(const ThermalZone& zone);

    // Counter files are listed again after this many reads, or at once when one fails to read
    // (a processor went offline).
    static constexpr int counterRelistReads = 60;

private:
    // Whether any counter is above its previous value; empty when none could be read.
    std::optional<bool> countersRose();

    std::string root_;
    std::shared_ptr<ThermalZoneReader> zones_;
    std::vector<std::string> counterFiles_;
    int readsSinceListing_ = 0;
    bool listed_ = false;
    std::map<std::string, std::uint64_t, std::less<>> lastCounts_;
    bool roseLastRead_ = false;
};

} // namespace orb::platform
