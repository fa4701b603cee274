#include "fakes/ScratchRoot.h"
#include "fakes/Text.h"
#include "platform/linux/LinuxHidSensors.h"
#include "sensors/HIDMonitor.h"

#include <gtest/gtest.h>

using namespace orb;
using namespace orb::platform;
using orb::testing::fixtures;
using orb::testing::ScratchRoot;
using orb::testing::text;
using Readings = std::map<std::string, double>;

namespace {

// Sensors over hwmon and the zones of `root`, read afresh on every call.
LinuxHidSensors sensorsOf(const std::string& root,
                          std::shared_ptr<const DriverTemperatures> drivers = nullptr) {
    return LinuxHidSensors(std::make_shared<HwmonReader>(root, std::chrono::milliseconds(0)),
                           std::make_shared<ThermalZoneReader>(root, std::chrono::milliseconds(0)),
                           std::move(drivers));
}

template <typename Function> Function function(LinuxHidSensors& sensors, std::string_view name) {
    return std::get<Function>(sensors.resolve(name));
}

// Product to reading of every service the sensors list, through their own functions.
Readings products(LinuxHidSensors& sensors, std::optional<PropertyTable> matching = {}) {
    const auto client = function<HidClientCreate>(sensors, hid_symbols::clientCreate)(nullptr);
    if (matching)
        function<HidClientSetMatching>(sensors, hid_symbols::clientSetMatching)(client, *matching);
    const auto services =
        function<HidClientCopyServices>(sensors, hid_symbols::clientCopyServices)(client);
    const auto property =
        function<HidServiceCopyProperty>(sensors, hid_symbols::serviceCopyProperty);
    const auto copyEvent = function<HidServiceCopyEvent>(sensors, hid_symbols::serviceCopyEvent);
    const auto value = function<HidEventGetFloatValue>(sensors, hid_symbols::eventGetFloatValue);
    Readings readings;
    for (const HidService& service : services.value())
        if (HidEvent event = copyEvent(service, 15, 0, 0))
            readings[*property(service, "Product")->string()] = value(event, 0xF0000);
    return readings;
}

Readings products(const std::string& root) {
    auto sensors = sensorsOf(root);
    return products(sensors);
}

// Writes hwmonN with a name, a device link and "index:label:millidegrees" channels.
void addChip(ScratchRoot& root, int number, const std::string& name, const std::string& device,
             std::initializer_list<std::tuple<int, std::string, std::string>> channels) {
    const std::string dir = "sys/class/hwmon/hwmon" + std::to_string(number) + "/";
    root.write(dir + "name", name + "\n");
    if (!device.empty())
        root.link(dir + "device", device);
    for (const auto& [index, label, input] : channels) {
        const std::string prefix = dir + "temp" + std::to_string(index);
        if (!label.empty())
            root.write(prefix + "_label", label + "\n");
        root.write(prefix + "_input", input + "\n");
    }
}

} // namespace

TEST(LinuxHidSensors, CapturedMachinesGiveProductsTheirUsersRecognise) {
    // The CPU packages and dies, and each card's GPU temperature, are the controller's keys.
    const std::pair<std::string, std::string> machines[] = {
        // Two identical coretemp chips tell their cores apart by device; Wi-Fi PHYs by name.
        {"prometheus-node_exporter",
         "coretemp.0 Core 0=54, coretemp.0 Core 1=52, coretemp.0 Core 2=53, coretemp.0 Core 3=50, "
         "coretemp.1 Core 0=54, coretemp.1 Core 1=52, coretemp.1 Core 2=53, coretemp.1 Core 3=50, "
         "foosensor temp1=55, foosensor temp2=54, mt7996_phy0_0=55, mt7996_phy0_1=56, "
         "mt7996_phy0_2=57"},
        {"telegraf/temp-with_name",
         "k10temp Tccd1=30.75, nvme0 Composite=32.85, nvme0 Sensor 1=32.85, nvme0 Sensor 2=36.85, "
         "nvme1 Composite=35.85, nvme1 Sensor 1=35.85, nvme1 Sensor 2=37.85"},
        {"lact/amd/rx6900xt", "amdgpu junction=59, amdgpu mem=54"},
        {"lact/amd/phoenix", ""},
        {"lact/intel/a380-xe", "xe GPU vram=54"},
        {"lact/intel/a380-i915", ""},
    };
    for (const auto& [machine, expected] : machines)
        EXPECT_EQ(text(products(fixtures + "/" + machine)), expected) << machine;

    // What a user sees: a card's channels merged into the hottest.
    for (const auto& [machine, expected] :
         {std::pair<std::string, Readings>{"lact/intel/b580", {{"GPU Die", 58}}},
          {"lact/amd/rx6900xt", {{"GPU Die", 59}}}}) {
        auto sensors = sensorsOf(fixtures + "/" + machine);
        EXPECT_EQ(HIDMonitor(&sensors).readTemperatures(), expected) << machine;
    }
}

TEST(LinuxHidSensors, EachSensorOnceWithANameThatTellsSocketsApart) {
    ScratchRoot root;
    addChip(root, 0, "coretemp", "../../../coretemp.0",
            {{1, "Package id 0", "61000"}, {2, "Core 0", "60000"}, {3, "Core 1", "59000"}});
    addChip(root, 1, "coretemp", "../../../coretemp.1",
            {{1, "Package id 1", "51000"}, {2, "Core 0", "50000"}});
    // Other readers' sensors: thermal zones' hwmon copies and a battery's.
    addChip(root, 2, "acpitz", "", {{1, "", "27800"}});
    addChip(root, 3, "x86_pkg_temp", "", {{1, "", "61000"}});
    addChip(root, 4, "iwlwifi_1", "", {{1, "", "41000"}});
    addChip(root, 5, "BAT0", "../../devices/LNXSYSTM:00/power_supply/BAT0", {{1, "", "30000"}});
    root.write("sys/class/thermal/thermal_zone0/type", "x86_pkg_temp\n");
    root.write("sys/class/thermal/thermal_zone1/type", "iwlwifi-1\n");
    // A reading that is not plausible is no reading; a chip's channels track its files.
    addChip(root, 6, "it8688", "", {{1, "", "-273150"}, {3, "", "40000"}});

    auto sensors = sensorsOf(root.str());
    const Readings first{{"Package id 0 Core 0", 60},
                         {"Package id 0 Core 1", 59},
                         {"Package id 1 Core 0", 50},
                         {"it8688 temp3", 40}};
    EXPECT_EQ(products(sensors), first);
    root.write("sys/class/hwmon/hwmon6/temp3_input", "42500\n");
    root.write("sys/class/hwmon/hwmon6/temp1_input", "38000\n");
    Readings second = first;
    second["it8688 temp3"] = 42.5;
    second["it8688 temp1"] = 38;
    EXPECT_EQ(products(sensors), second);

    // Only temperature sensors are offered.
    EXPECT_EQ(products(sensors, PropertyTable{{"PrimaryUsagePage", 0xFF00}, {"PrimaryUsage", 5}}),
              second);
    EXPECT_EQ(products(sensors, PropertyTable{{"PrimaryUsagePage", 0xFF00}, {"PrimaryUsage", 6}}),
              Readings());
}

TEST(LinuxHidSensors, ResolvesFunctionsByTheirExactNameOnly) {
    // The six functions by name are resolved by every products() above.
    auto sensors = sensorsOf("/nonexistent");
    for (std::string_view name : {"", "IOHIDEventSystemClientCreat", "iohideventgetfloatvalue"})
        EXPECT_TRUE(std::holds_alternative<std::monostate>(sensors.resolve(name))) << name;
    EXPECT_EQ(products(sensors), Readings()); // a machine without hwmon
}
