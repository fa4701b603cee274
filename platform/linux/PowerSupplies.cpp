#include "platform/linux/PowerSupplies.h"

#include "platform/linux/LinuxDeviceRegistry.h"
#include "platform/linux/SysFs.h"

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace orb::platform {

namespace fs = linux_fs;

namespace {

constexpr std::string_view powerSupplyClassDirectory = "/sys/class/power_supply";

// Reads the attribute files the supply has, by name: listing its folder again would walk into
// its `subsystem` and `device` links, which lead back up the tree.
PowerSupply readSupply(const std::string& dir, const std::string& name,
                       const std::string& devicePath, const std::vector<std::string>& attributes) {
    auto attribute = [&](const char* file) -> std::optional<std::string> {
        if (!std::binary_search(attributes.begin(), attributes.end(), std::string_view(file)))
            return std::nullopt;
        return fs::readAttribute(dir + file);
    };
    auto text = [&](const char* file) { return attribute(file).value_or(""); };
    // No supply reads a million units (1.1 MW, MV or MWh in µ-units) or more; a number that
    // large is garbage, and the sums and products below would overflow on it.
    auto number = [&](const char* file) -> std::optional<std::int64_t> {
        constexpr std::int64_t largest = std::int64_t(1) << 40;
        const auto value = attribute(file);
        const auto parsed = value ? fs::parseInt(*value) : std::nullopt;
        if (!parsed || *parsed > largest || *parsed < -largest)
            return std::nullopt;
        return parsed;
    };
    auto flag = [&](const char* file) -> std::optional<bool> {
        const auto value = number(file);
        if (value == 0 || value == 1)
            return *value == 1;
        return std::nullopt;
    };

    PowerSupply supply;
    supply.name = name;
    supply.devicePath = devicePath;
    supply.type = text("type");
    supply.scope = text("scope");
    supply.status = text("status");
    supply.health = text("health");
    supply.online = flag("online");
    supply.present = flag("present");
    supply.capacity = number("capacity");
    supply.energyNow = number("energy_now");
    supply.energyFull = number("energy_full");
    supply.energyFullDesign = number("energy_full_design");
    supply.chargeNow = number("charge_now");
    supply.chargeFull = number("charge_full");
    supply.chargeFullDesign = number("charge_full_design");
    supply.powerNow = number("power_now");
    supply.currentNow = number("current_now");
    supply.voltageNow = number("voltage_now");
    supply.voltageMinDesign = number("voltage_min_design");
    supply.cycleCount = number("cycle_count");
    supply.temp = number("temp");
    supply.timeToEmptyNow = number("time_to_empty_now");
    supply.timeToFullNow = number("time_to_full_now");
    if (supply.type.empty() && supply.capacity)
        supply.type = "Battery";
    return supply;
}

} // namespace

std::vector<PowerSupply> readPowerSupplies(const std::string& root) {
    return PowerSupplyReader(root).supplies();
}

PowerSupplyReader::PowerSupplyReader(std::string root, std::chrono::milliseconds reuseWindow)
    : root_(std::move(root)), reuse_(reuseWindow),
      listing_(fs::underRoot(root_, powerSupplyClassDirectory), "power_supply",
               fs::DeviceEvents::forRoot(root_)) {}

const std::vector<PowerSupply>& PowerSupplyReader::supplies() {
    if (!reuse_.due())
        return supplies_;
    supplies_.clear();

    const auto classDir = fs::underRoot(root_, powerSupplyClassDirectory);
    const auto& names = listing_.entries();
    std::erase_if(layouts_, [&](const auto& entry) {
        return !std::binary_search(names.begin(), names.end(), entry.first);
    });
    for (const auto& name : names) {
        // A link whose target was never captured, or a stray file, is not a supply.
        const auto dir = classDir + "/" + name + "/";
        const auto inode = listing_.folderInode(dir);
        if (!inode) {
            layouts_.erase(name);
            continue;
        }
        Layout& layout = layouts_[name];
        if (layout.inode != *inode || layout.attributes.empty()) {
            layout.inode = *inode;
            layout.devicePath =
                kernelDevicePath(root_, std::string(powerSupplyClassDirectory) + "/" + name);
            layout.attributes = fs::listDirectory(dir);
        }
        supplies_.push_back(readSupply(dir, name, layout.devicePath, layout.attributes));
    }
    return supplies_;
}

bool isSystemBattery(const PowerSupply& supply) {
    return supply.type == "Battery" && supply.scope != "Device" && supply.present != false;
}

bool isAdapter(const PowerSupply& supply) {
    return (supply.type == "Mains" || supply.type.starts_with("USB")) && supply.scope != "Device";
}

} // namespace orb::platform
