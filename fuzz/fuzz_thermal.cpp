// Thermal zones, their trip points and the processors' throttle counters from a /sys tree
// ("class/thermal/thermal_zone0/trip_point_0_temp=95000" a line), read twice so that the
// counters can rise, through the zone sensors and the thermal state.
#include "FuzzTree.h"
#include "platform/linux/LinuxHidSensors.h"
#include "platform/linux/LinuxThermalState.h"
#include "platform/linux/LinuxThermalZones.h"
#include "sensors/HIDMonitor.h"

#include <cstdlib>

using namespace orb::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static orb::fuzz::FuzzTree tree;
    auto text = orb::fuzz::asText(data, size);
    // The tree, then after a blank line what changes before the second read.
    const auto first = orb::fuzz::takeUntil(text, "\n\n");
    tree.clear();
    tree.write("sys", first);

    auto zones = std::make_shared<ThermalZoneReader>(tree.root(), std::chrono::milliseconds(0));
    LinuxThermalState state(tree.root(), zones);
    LinuxHidSensors sensors(
        std::make_shared<HwmonReader>(tree.root(), std::chrono::milliseconds(0)), zones);
    orb::HIDMonitor hid(&sensors);
    for (int read = 0; read < 2; ++read) {
        if (read == 1)
            tree.write("sys", text);
        const auto level = state.thermalState();
        if (level != thermalUnknown && level != thermalNominal && level != thermalFair &&
            level != thermalSerious && level != thermalCritical)
            std::abort();
        for (const auto& zone : zones->zones()) {
            if (zone.millidegrees && !isPlausibleZoneTemperature(*zone.millidegrees))
                std::abort();
            for (const auto& trip : zone.trips)
                if (trip.millidegrees <= 0)
                    std::abort(); // unused slots are left out
        }
        for (const auto& [label, celsius] : hid.readTemperatures())
            if (!(celsius > 0 && celsius < 150))
                std::abort(); // only what can be a temperature is shown
    }
    return 0;
}
