// hwmon chips from a /sys/class/hwmon tree ("hwmon0/temp1_input=45000" a line), through every
// reader that stands on them: the controller key table and its client, and the HID sensors.
#include "FuzzTree.h"
#include "platform/linux/Hwmon.h"
#include "platform/linux/LinuxDeviceRegistry.h"
#include "platform/linux/LinuxHidSensors.h"
#include "platform/linux/LinuxSmc.h"
#include "sensors/HIDMonitor.h"
#include "sensors/SMC.h"

#include <cstdlib>
#include <sstream>

using namespace orb::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static orb::fuzz::FuzzTree tree;
    tree.clear();
    tree.write("sys/class/hwmon", orb::fuzz::asText(data, size));

    auto hwmon = std::make_shared<HwmonReader>(tree.root(), std::chrono::milliseconds(0));
    const auto& chips = hwmon->chips();
    for (const auto& chip : chips) {
        for (const auto& channel : chip.temperatures)
            if (channel.celsius && !(*channel.celsius > 0 && *channel.celsius < 150))
                std::abort(); // only believable readings pass
        for (const auto& fan : chip.fans)
            if (fan.rpm && *fan.rpm < 0)
                std::abort();
    }
    for (const auto& key : smcKeyTable(chips))
        if (key.name.size() != 4)
            std::abort();
    hidSensorChannels(chips, {});

    LinuxDeviceRegistry registry(false);
    registry.addSource("AppleSMC", std::make_unique<LinuxSmc>(hwmon));
    std::ostringstream log;
    orb::sensors::SMC smc(registry, log);
    smc.readFanSpeeds();
    smc.readCPUTemperature();
    smc.readGPUTemperature();
    for (const auto& [label, celsius] : smc.readAllTemperatures())
        if (!(celsius > 0 && celsius < 120))
            std::abort();

    LinuxHidSensors hid(
        hwmon, std::make_shared<ThermalZoneReader>(tree.root(), std::chrono::milliseconds(0)));
    orb::HIDMonitor(&hid).readTemperatures();
    return 0;
}
