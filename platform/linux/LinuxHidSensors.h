#pragma once

#include "platform/HidEventSystem.h"
#include "platform/linux/DriverTemperatures.h"
#include "platform/linux/Hwmon.h"
#include "platform/linux/LinuxThermalZones.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace orb::platform {

// One hwmon temperature channel offered as a HID temperature sensor.
struct HidSensorChannel {
    std::string product; // the service's "Product"
    int chip = 0;        // N of hwmonN
    int channel = 0;     // N of tempN
};

// The channels that become HID sensors and the product each one gets, in hwmon order.
//
// A channel the controller key table already carries (smcRoleOf) is left out, and so is a chip
// that is another reader's sensor: applesmc (every channel is a controller key), the hwmon copy
// of a thermal zone (named after the zone's type, "acpitz" among them), and a power supply's chip
// (its battery temperature comes with the battery).
//
// The product is the chip's name and the channel's label ("tempN" when it has none), so that the
// label the classification makes of it reads as `sensors` prints it:
//   - coretemp: the label alone ("Core 0", "Package id 1");
//   - nvme: the drive instead of the driver ("nvme0 Composite");
//   - a graphics driver: its name with "GPU" in it, so that its channels share the GPU label;
//   - a chip with a single unlabelled channel (a Wi-Fi PHY): the chip's name alone.
// Where two chips would give the same product (two sockets, identical chips), each is prefixed
// by what tells the chips apart: the coretemp package, else the device, else hwmonN.
// `thermalZoneChips` are the names thermal zones' hwmon copies carry (the zone's type with '-'
// made '_', as hwmon names may not hold '-').
std::vector<HidSensorChannel> hidSensorChannels(const std::vector<HwmonChip>& chips,
                                                const std::vector<std::string>& thermalZoneChips);

// One thermal zone offered as a HID temperature sensor.
struct HidZoneSensor {
    std::string product;
    std::string zone; // "thermal_zone3"
};

// The zones that become HID sensors, in zone order: every zone with a type that no other reader
// presents. A processor zone's product is "CPU (<type>)" and a graphics zone's "GPU (<type>)",
// so that the hottest of them is the processor's or the graphics processor's temperature where
// no controller key gives one; any other zone's is its type, and zones of one type after the
// first are "<type> 2", "<type> 3".
std::vector<HidZoneSensor> hidZoneSensors(const std::vector<ThermalZone>& zones);

// The HID event-system functions over hwmon, the thermal zones and the temperatures only a
// driver's library gives: a client whose services are the channels, zones and driver sensors,
// each with the properties of a temperature sensor, whose temperature event carries the current
// reading (a zone's from 1 °C to below 150 °C). Unknown names resolve to nothing.
class LinuxHidSensors final : public HidFunctionResolver {
public:
    // The readers are shared with the other sensor readers, so that a tick reads each once.
    LinuxHidSensors(std::shared_ptr<HwmonReader> reader, std::shared_ptr<ThermalZoneReader> zones,
                    std::shared_ptr<const DriverTemperatures> drivers = nullptr);
    HidFunction resolve(std::string_view name) override;

    struct State;

private:
    std::shared_ptr<State> state_;
};

} // namespace orb::platform
