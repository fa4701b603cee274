#pragma once

#include "platform/linux/LinuxDeviceRegistry.h"
#include "platform/linux/PowerSupplyTables.h"

#include <memory>
#include <string_view>

namespace orb::platform {

// The system-battery service: one service standing for all of the machine's own batteries,
// with the property table of smartBatteryProperties. It is named by the device path of the
// first battery, so udev events of that battery are its interest messages. A machine without a
// battery has no service.
class LinuxSmartBattery final : public ServiceSource {
public:
    // The reader may be shared with the power-source snapshot, so that one tick reads sysfs once.
    explicit LinuxSmartBattery(std::shared_ptr<PowerSupplyReader> reader);
    std::vector<std::unique_ptr<RegistryService>> services() override;
    std::string_view subsystem() const override { return "power_supply"; }

private:
    std::shared_ptr<PowerSupplyReader> reader_;
};

} // namespace orb::platform
