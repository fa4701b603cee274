#include "sensors/GPUMonitor.h"

#include "platform/Accelerator.h"
#include "platform/DeviceRegistry.h"
#include "platform/Platform.h"

namespace orb {

namespace keys = platform::accelerator;
using platform::PropertyTable;

namespace {

std::optional<int> integerAt(const PropertyTable& table, std::string_view key) {
    const auto* value = table.find(key);
    return value ? value->toInt() : std::nullopt;
}

// A byte count may be stored as either width; a value of another kind adds nothing.
std::int64_t bytesAt(const PropertyTable& table, std::string_view key) {
    const auto* value = table.find(key);
    return value ? value->toInt64().value_or(0) : 0;
}

} // namespace

GPUStats GPUMonitor::readStats(platform::Platform& platform) {
    return platform.registry ? readStats(*platform.registry) : GPUStats{};
}

GPUStats GPUMonitor::readStats(platform::DeviceRegistry& registry) {
    GPUStats stats;
    auto services = registry.matchingServices(keys::serviceClass);
    if (!services)
        return stats;

    double device = 0, renderer = 0, tiler = 0;
    int accelerators = 0;
    while (auto service = services->next()) {
        const auto table = service->properties();
        if (!table || table->empty())
            continue;
        const auto* statisticsValue = table->find(keys::statisticsKey);
        if (const auto* statistics = statisticsValue ? statisticsValue->table() : nullptr) {
            auto busy = integerAt(*statistics, keys::deviceUtilizationKey);
            if (!busy)
                busy = integerAt(*statistics, keys::gpuActivityKey);
            device += busy.value_or(0);
            renderer += integerAt(*statistics, keys::rendererUtilizationKey).value_or(0);
            tiler += integerAt(*statistics, keys::tilerUtilizationKey).value_or(0);
            stats.memoryUsed += bytesAt(*statistics, keys::inUseMemoryKey);
            stats.memoryAllocated += bytesAt(*statistics, keys::allocMemoryKey);
            stats.recoveryCount += integerAt(*statistics, keys::recoveryCountKey).value_or(0);
            ++accelerators;
        }
        if (stats.coreCount == 0)
            stats.coreCount = integerAt(*table, keys::coreCountKey).value_or(0);
        if (stats.modelName.isEmpty()) {
            if (const auto* model = table->find(keys::modelKey); model && model->string())
                stats.modelName = QString::fromStdString(*model->string());
        }
        if (const auto* power = table->find(keys::powerKey))
            stats.powerWatts += power->toDouble().value_or(0);
    }

    if (accelerators > 0) {
        stats.utilization = device / accelerators / 100;
        stats.rendererUtil = renderer / accelerators / 100;
        stats.tilerUtil = tiler / accelerators / 100;
    }
    return stats;
}

} // namespace orb
