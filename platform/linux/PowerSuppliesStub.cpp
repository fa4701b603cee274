// Placeholder definitions so that the build links until the sysfs power-supply reader lands:
// every machine reads as having no supply. Delete this file when PowerSupplies.cpp arrives.
#include "platform/linux/PowerSupplies.h"

namespace orb::platform {

std::vector<PowerSupply> readPowerSupplies(const std::string&) {
    return {};
}

PowerSupplyReader::PowerSupplyReader(std::string root, std::chrono::milliseconds reuseWindow)
    : root_(std::move(root)), reuseWindow_(reuseWindow) {}

const std::vector<PowerSupply>& PowerSupplyReader::supplies() {
    return supplies_;
}

bool isSystemBattery(const PowerSupply&) {
    return false;
}

bool isAdapter(const PowerSupply&) {
    return false;
}

std::optional<PropertyTable> batteryDescription(const std::vector<PowerSupply>&) {
    return std::nullopt;
}

std::optional<PropertyTable> smartBatteryProperties(const std::vector<PowerSupply>&) {
    return std::nullopt;
}

} // namespace orb::platform
