// Power supplies from a /sys/class/power_supply tree ("BAT0/energy_now=41000000" a line), through
// the battery description and the battery service's table to the readers of both.
#include "FuzzTree.h"
#include "monitor/BatteryDetailsReader.h"
#include "monitor/PowerSourceReader.h"
#include "platform/SmartBattery.h"
#include "platform/linux/LinuxDeviceRegistry.h"
#include "platform/linux/LinuxPowerSources.h"
#include "platform/linux/LinuxSmartBattery.h"
#include "platform/linux/PowerSupplyTables.h"
#include "platform/linux/UPowerClient.h"
#include "sensors/IoregMonitor.h"

#include <cstdlib>

using namespace orb::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static orb::fuzz::FuzzTree tree;
    tree.clear();
    tree.write("sys/class/power_supply", orb::fuzz::asText(data, size));

    auto supplies = std::make_shared<PowerSupplyReader>(tree.root(), std::chrono::milliseconds(0));
    batteryDescription(supplies->supplies());
    smartBatteryProperties(supplies->supplies());

    LinuxPowerSources sources(supplies, nullptr);
    for (const bool wasCharging : {false, true}) {
        const auto reading = orb::PowerSourceReader(sources).read(wasCharging);
        if (reading && reading->level && !(*reading->level >= 0 && *reading->level <= 1))
            std::abort(); // each pack's level is clamped to its full mark
    }

    LinuxDeviceRegistry registry(false);
    registry.addSource(std::string(smart_battery::serviceClass),
                       std::make_unique<LinuxSmartBattery>(supplies));
    if (const auto details = orb::BatteryDetailsReader(registry).read()) {
        if ((details->systemPower && *details->systemPower < 0) ||
            (details->adapterPower && *details->adapterPower < 0))
            std::abort();
    }
    orb::IoregMonitor::read(registry);
    return 0;
}
