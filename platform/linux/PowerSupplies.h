#pragma once

#include "platform/linux/DeviceEvents.h"
#include "platform/linux/SysFs.h"

#include "platform/PropertyValue.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orb::platform {

// One entry of /sys/class/power_supply with the attributes the power readers use, in the
// kernel's units (µV, µA, µW, µWh, µAh, tenths of °C, seconds, percent). An attribute that is
// missing or not a number is empty; texts are empty when missing. Only the attribute files are
// read: a supply's `uevent` is a second copy that some drivers fill at another moment.
struct PowerSupply {
    std::string name;       // "BAT0", "AC", "ucsi-source-psy-USBC000:001"
    std::string devicePath; // the kernel's device path, as udev names it
    // "Battery", "Mains", "USB", "UPS", ...; a captured entry without its `type` file that
    // reports a capacity is taken as "Battery", since only batteries have one.
    std::string type;
    std::string scope;  // "System", "Device" or empty (a system supply)
    std::string status; // "Charging", "Discharging", "Full", "Not charging", "Unknown", "Error"
    std::string health; // "Good", "Overheat", ... or empty
    std::optional<bool> online;
    std::optional<bool> present;
    std::optional<std::int64_t> capacity;
    std::optional<std::int64_t> energyNow, energyFull, energyFullDesign;
    std::optional<std::int64_t> chargeNow, chargeFull, chargeFullDesign;
    std::optional<std::int64_t> powerNow, currentNow, voltageNow, voltageMinDesign;
    std::optional<std::int64_t> cycleCount, temp;
    std::optional<std::int64_t> timeToEmptyNow, timeToFullNow;
};

// Every supply below `root`, in name order. Follows each class entry's link once (the entries'
// `subsystem` links lead back to the class: a recursive walk would never end).
std::vector<PowerSupply> readPowerSupplies(const std::string& root);

// Reads the supplies at most once per reuse window, so that the power-source snapshot and the
// battery read of one tick share one pass over sysfs; an event handled later reads afresh. What
// stays the same while a supply's device exists (its device path and which attributes it has)
// is looked up once per device, so a pass reads only the attribute files that are there.
class PowerSupplyReader {
public:
    explicit PowerSupplyReader(
        std::string root, std::chrono::milliseconds reuseWindow = std::chrono::milliseconds(50));
    const std::vector<PowerSupply>& supplies();

private:
    struct Layout {
        std::uint64_t inode = 0; // of the supply's folder: a device registered anew has another
        std::string devicePath;
        std::vector<std::string> attributes; // sorted
    };

    std::string root_;
    linux_fs::ReuseWindow reuse_;
    linux_fs::ClassListing listing_;
    std::vector<PowerSupply> supplies_;
    std::map<std::string, Layout, std::less<>> layouts_;
};

// A battery of the machine itself: type Battery, not scope Device (mice, keyboards, headsets),
// and not an empty slot (`present` 0).
bool isSystemBattery(const PowerSupply& supply);
// A Mains or USB supply of the machine (not scope Device). Older kernels spell USB supplies
// "USB_C", "USB_PD", ...
bool isAdapter(const PowerSupply& supply);

} // namespace orb::platform
