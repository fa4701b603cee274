#include "platform/linux/LinuxSmartBattery.h"

#include <algorithm>

namespace orb::platform {

LinuxSmartBattery::LinuxSmartBattery(std::shared_ptr<PowerSupplyReader> reader)
    : reader_(std::move(reader)) {}

std::vector<std::unique_ptr<RegistryService>> LinuxSmartBattery::services() {
    std::vector<std::unique_ptr<RegistryService>> services;
    const auto& supplies = reader_->supplies();
    auto properties = smartBatteryProperties(supplies);
    if (!properties)
        return services;
    const auto first = std::find_if(supplies.begin(), supplies.end(), isSystemBattery);
    services.push_back(std::make_unique<SnapshotService>(registryEntryId(first->devicePath),
                                                         std::move(*properties)));
    return services;
}

} // namespace orb::platform
