#pragma once

#include <array>
#include <optional>
#include <string>

namespace orb::platform {

struct CoreCounts {
    int performance = 0; // 0 and 0 where the machine has no performance levels
    int efficiency = 0;
};

class HostInfo {
public:
    virtual ~HostInfo() = default;
    // 1-, 5- and 15-minute load averages; entries that could not be read stay 0.
    virtual std::array<double, 3> loadAverages() = 0;
    // Seconds since boot, empty when unknown. Where it is derived from a boot time and a wall
    // clock that was set back, it can come out negative.
    virtual std::optional<double> uptimeSeconds() = 0;
    // Processor brand text, empty when unknown.
    virtual std::string brandString() = 0;
    virtual CoreCounts coreCounts() = 0;
};

} // namespace orb::platform
