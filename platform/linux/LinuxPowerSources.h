#pragma once

#include "platform/PowerSources.h"
#include "platform/linux/PowerSupplyTables.h"

#include <memory>
#include <string>

namespace orb::platform {

class UPowerClient;

// The machine's power sources on Linux: one source standing for its system batteries, or none.
// On the live system the description is UPower's while the daemon is on the bus, since it is
// what the desktop's own battery indicator shows, and is built from sysfs otherwise. The
// battery's health text always comes from sysfs: UPower has none.
class LinuxPowerSources final : public PowerSources {
public:
    // `live` asks for UPower and udev, which describe the running machine; they are used only
    // when `root` is "/", so a fixture tree is read alone.
    LinuxPowerSources(const std::string& root, bool live);
    // Reads sysfs through `reader` (which another reader of the same tick may share) and, when
    // `upower` is given, watches the system the way the live form does.
    LinuxPowerSources(std::shared_ptr<PowerSupplyReader> reader,
                      std::unique_ptr<UPowerClient> upower);
    ~LinuxPowerSources() override;

    std::optional<std::vector<PropertyValue>> descriptions() override;
    std::unique_ptr<InterestNotification> notifyChanges(std::function<void()> changed) override;

private:
    std::shared_ptr<PowerSupplyReader> reader_;
    std::unique_ptr<UPowerClient> upower_; // null unless live
};

// Adds the health text of the first system battery among `supplies`, where it reports one.
void addBatteryHealth(PropertyTable& description, const std::vector<PowerSupply>& supplies);

} // namespace orb::platform
