#pragma once

#include <QString>
#include <cstdint>

namespace orb {

namespace platform {
struct Platform;
class DeviceRegistry;
} // namespace platform

// One reading of the graphics processor. The empty record has every number 0 and no model name.
struct GPUStats {
    double utilization = 0;  // fraction 0-1
    double rendererUtil = 0; // fraction 0-1
    double tilerUtil = 0;    // fraction 0-1
    std::int64_t memoryUsed = 0;
    std::int64_t memoryAllocated = 0;
    int coreCount = 0;
    QString modelName = {};
    int recoveryCount = 0;
    // Watts drawn by the graphics processors whose drivers measure it (sum); 0 where none does.
    double powerWatts = 0;
    // Which figures at least one accelerator gave; the others are not measured on this machine,
    // and their 0 is no reading.
    struct Given {
        bool utilization = false;
        bool rendererUtil = false;
        bool tilerUtil = false;
        bool memoryUsed = false;
        bool memoryAllocated = false;
        bool recoveryCount = false;
        bool powerWatts = false;
    } given = {};
};

// Reads the accelerator services of the registry: the percentages are means over the
// accelerators that publish statistics, memory, recoveries and power are sums, and the core
// count and model come from the first accelerator that has them.
class GPUMonitor {
public:
    // Keeps no state between readings.
    static GPUStats readStats(platform::Platform& platform);
    static GPUStats readStats(platform::DeviceRegistry& registry);
};

} // namespace orb
