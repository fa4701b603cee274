#include "monitor/LoadAndUptimeReader.h"

#include <algorithm>
#include <cmath>

namespace orb {

LoadAndUptime LoadAndUptimeReader::read() {
    LoadAndUptime reading{host_.loadAverages(), std::nullopt};
    if (auto uptime = host_.uptimeSeconds(); uptime && std::isfinite(*uptime)) {
        // A negative figure (a captured boot time ahead of the clock) reads as just booted.
        reading.uptimeSeconds = static_cast<std::int64_t>(std::max(std::trunc(*uptime), 0.0));
    }
    return reading;
}

} // namespace orb
