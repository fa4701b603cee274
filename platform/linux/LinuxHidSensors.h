#pragma once

#include "platform/HidEventSystem.h"
#include "platform/linux/Hwmon.h"

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
// `thermalZoneChips` are the names thermal zones' hwmon copies carry.
std::vector<HidSensorChannel> hidSensorChannels(const std::vector<HwmonChip>& chips,
                                                const std::vector<std::string>& thermalZoneChips);

// The HID event-system functions over hwmon: a client whose services are the channels above,
// each with the properties of a temperature sensor, whose temperature event carries the
// channel's current reading. Unknown names resolve to nothing.
class LinuxHidSensors final : public HidFunctionResolver {
public:
    // The reader is shared with the other sensor readers, so that a tick reads hwmon once.
    LinuxHidSensors(std::string root, std::shared_ptr<HwmonReader> reader);
    HidFunction resolve(std::string_view name) override;

    struct State;

private:
    std::shared_ptr<State> state_;
};

} // namespace orb::platform
