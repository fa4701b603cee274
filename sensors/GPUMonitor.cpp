#include "sensors/GPUMonitor.h"

#include "platform/Accelerator.h"
#include "platform/DeviceRegistry.h"
#include "platform/Platform.h"

#include <limits>

namespace orb {

namespace gpuKeys = platform::accelerator;
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

// Counts from several cards add up without wrapping: a driver's garbage (a negative or huge
// figure) neither turns the sum negative nor overflows it.
template <typename Count> void addCount(Count& sum, std::int64_t value) {
    if (value <= 0)
        return;
    constexpr auto most = std::numeric_limits<Count>::max();
    sum = value >= most - sum ? most : static_cast<Count>(sum + value);
}

} // namespace

GPUStats GPUMonitor::readStats(platform::Platform& platform) {
    return platform.registry ? readStats(*platform.registry) : GPUStats{};
}

GPUStats GPUMonitor::readStats(platform::DeviceRegistry& registry) {
    GPUStats stats;
    auto services = registry.matchingServices(gpuKeys::serviceClass);
    if (!services)
        return stats;

    double device = 0, renderer = 0, tiler = 0;
    int accelerators = 0;
    while (auto service = services->next()) {
        const auto table = service->properties();
        if (!table || table->empty())
            continue;
        const auto* statisticsValue = table->find(gpuKeys::statisticsKey);
        if (const auto* statistics = statisticsValue ? statisticsValue->table() : nullptr) {
            auto busy = integerAt(*statistics, gpuKeys::deviceUtilizationKey);
            if (!busy)
                busy = integerAt(*statistics, gpuKeys::gpuActivityKey);
            const auto rendered = integerAt(*statistics, gpuKeys::rendererUtilizationKey);
            const auto tiled = integerAt(*statistics, gpuKeys::tilerUtilizationKey);
            const auto recoveries = integerAt(*statistics, gpuKeys::recoveryCountKey);
            device += busy.value_or(0);
            renderer += rendered.value_or(0);
            tiler += tiled.value_or(0);
            addCount(stats.memoryUsed, bytesAt(*statistics, gpuKeys::inUseMemoryKey));
            addCount(stats.memoryAllocated, bytesAt(*statistics, gpuKeys::allocMemoryKey));
            addCount(stats.recoveryCount, recoveries.value_or(0));
            ++accelerators;
            auto& given = stats.given;
            given.utilization |= busy.has_value();
            given.rendererUtil |= rendered.has_value();
            given.tilerUtil |= tiled.has_value();
            given.memoryUsed |= statistics->find(gpuKeys::inUseMemoryKey) != nullptr;
            given.memoryAllocated |= statistics->find(gpuKeys::allocMemoryKey) != nullptr;
            given.recoveryCount |= recoveries.has_value();
        }
        if (stats.coreCount == 0)
            stats.coreCount = integerAt(*table, gpuKeys::coreCountKey).value_or(0);
        if (stats.modelName.isEmpty()) {
            if (const auto* model = table->find(gpuKeys::modelKey); model && model->string())
                stats.modelName = QString::fromStdString(*model->string());
        }
        if (const auto* power = table->find(gpuKeys::powerKey); power && power->toDouble()) {
            stats.powerWatts += *power->toDouble();
            stats.given.powerWatts = true;
        }
    }

    if (accelerators > 0) {
        stats.utilization = device / accelerators / 100;
        stats.rendererUtil = renderer / accelerators / 100;
        stats.tilerUtil = tiler / accelerators / 100;
    }
    return stats;
}

} // namespace orb
