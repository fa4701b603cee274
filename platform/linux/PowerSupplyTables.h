#pragma once

#include "platform/PropertyValue.h"
#include "platform/linux/PowerSupplies.h"

#include <optional>
#include <vector>

namespace orb::platform {

// The power-source description of the machine's batteries taken together (see PowerSources.h),
// or empty when it has none.
std::optional<PropertyTable> batteryDescription(const std::vector<PowerSupply>& supplies);

// The property table of the system-battery service (see SmartBattery.h), or empty when the
// machine has no battery.
std::optional<PropertyTable> smartBatteryProperties(const std::vector<PowerSupply>& supplies);

} // namespace orb::platform
