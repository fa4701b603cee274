#pragma once

#include <QString>
#include <cstdint>

namespace orb {

namespace platform {
struct Platform;
}

// One reading of the graphics processor. The empty record has every number 0 and no model name.
struct GPUStats {
    double utilization = 0;  // fraction 0-1
    double rendererUtil = 0; // fraction 0-1
    double tilerUtil = 0;    // fraction 0-1
    std::int64_t memoryUsed = 0;
    std::int64_t memoryAllocated = 0;
    int coreCount = 0;
    QString modelName;
    int recoveryCount = 0;
};

class GPUMonitor {
public:
    // Keeps no state between readings.
    static GPUStats readStats(platform::Platform& platform);
};

} // namespace orb
