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
    // The CPU packages and dies, and each card's GPU temperature, are the controller's keys;
    // thermal zones are sensors of their own, named for what they measure where their type says.
    const std::pair<std::string, std::string> machines[] = {
        // Two identical coretemp chips tell their cores apart by device; Wi-Fi PHYs by name.
        {"prometheus-node_exporter",
         "CPU (cpu-thermal)=12.376, coretemp.0 Core 0=54, coretemp.0 Core 1=52, "
         "coretemp.0 Core 2=53, coretemp.0 Core 3=50, coretemp.1 Core 0=54, coretemp.1 Core 1=52, "
         "coretemp.1 Core 2=53, coretemp.1 Core 3=50, foosensor temp1=55, foosensor temp2=54, "
         "mt7996_phy0_0=55, mt7996_phy0_1=56, mt7996_phy0_2=57"},
        {"telegraf/temp-with_name",
         "k10temp Tccd1=30.75, nvme0 Composite=32.85, nvme0 Sensor 1=32.85, nvme0 Sensor 2=36.85, "
         "nvme1 Composite=35.85, nvme1 Sensor 1=35.85, nvme1 Sensor 2=37.85"},
        {"lact/amd/rx6900xt", "amdgpu junction=59, amdgpu mem=54"},
        {"lact/amd/phoenix", ""},
        {"lact/intel/a380-xe", "xe GPU vram=54"},
        {"lact/intel/a380-i915", ""},
        // A Raspberry Pi kernel names its zone after the driver; acpitz at -44 °C is no reading.
        {"prometheus-procfs", "CPU (bcm2835_thermal)=49.925"},
        // x86_pkg_temp is coretemp's; iwlwifi cannot answer; SEN1 reads -273.15 °C.
        {"handmade-thermal/laptop",
         "B0D4=86, INT3400 Thermal=20, TSKN=41.05, acpitz=47, acpitz 2=30, pch_cannonlake=54"},
        // The discrete card sleeps: its chip's channels give nothing until it wakes.
        {"handmade-drm/laptop", ""},
        // Zones of three SoC families; the hwmon copies the thermal core makes of them are not
        // listed a second time.
        {"arm-boards/raspberrypi-4b", "CPU (cpu-thermal)=62.322"},
        {"arm-boards/rk3588-rock5b",
         "CPU (bigcore0-thermal)=63.8, CPU (bigcore1-thermal)=64.7, "
         "CPU (littlecore-thermal)=62.8, CPU (soc-thermal)=61.9, GPU (gpu-thermal)=58.2, "
         "center-thermal=59.2, npu-thermal=60.1"},
        {"arm-boards/mediatek-mt8188",
         "CPU (cpu-big0-thermal)=47.658, CPU (cpu-big1-thermal)=48.048, "
         "CPU (cpu-little0-thermal)=45.314, CPU (cpu-little1-thermal)=45.119, "
         "CPU (cpu-little2-thermal)=45.509, CPU (cpu-little3-thermal)=45.119, "
         "GPU (gpu-thermal)=44.335, GPU (gpu1-thermal)=44.14, adsp-thermal=43.945, "
         "apu-thermal=43.554, cam1-thermal=43.164, cam2-thermal=43.359, infra-thermal=44.14, "
         "vdo-thermal=43.359"},
        // A Super-I/O board beside a graphics card.
        {"desktop-hwmon/asus-x570i-nct6798",
         "amdgpu junction=54, amdgpu mem=56, k10temp Tccd1=53.75, k10temp Tccd2=48, "
         "nct6798 AUXTIN0=66.5, nct6798 AUXTIN1=46, nct6798 AUXTIN2=21, nct6798 AUXTIN3=67, "
         "nct6798 CPUTIN=48.5, nct6798 PECI Agent 0 Calibration=53, nct6798 SYSTIN=46"},
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
    root.writeWords("sys/class/power_supply/BAT0", "type=Battery temp=300");
    // The zones behind them: the package zone is coretemp's and the battery's zone the
    // battery's. A zone at 104.5 °C is shown as it reads; one at 0.5 °C is no reading.
    const std::pair<const char*, const char*> zones[] = {{"x86_pkg_temp", "61000"},
                                                         {"iwlwifi-1", "41000"},
                                                         {"BAT0", "30000"},
                                                         {"acpitz", "104500"},
                                                         {"SEN1", "500"}};
    for (std::size_t i = 0; i < std::size(zones); ++i) {
        const auto zone = "sys/class/thermal/thermal_zone" + std::to_string(i) + "/";
        root.write(zone + "type", std::string(zones[i].first) + "\n");
        root.write(zone + "temp", std::string(zones[i].second) + "\n");
    }
    // A reading that is not plausible is no reading; a chip's channels track its files.
    addChip(root, 6, "it8688", "", {{1, "", "-273150"}, {3, "", "40000"}});
    // The temperature only a driver's library gives.
    auto drivers = std::make_shared<DriverTemperatures>();
    drivers->sensors = {{"GPU (NVIDIA GeForce RTX 4080)", 61}};

    auto sensors = sensorsOf(root.str(), drivers);
    const Readings first{{"Package id 0 Core 0", 60},
                         {"Package id 0 Core 1", 59},
                         {"Package id 1 Core 0", 50},
                         {"it8688 temp3", 40},
                         {"iwlwifi-1", 41},
                         {"acpitz", 104.5},
                         {"GPU (NVIDIA GeForce RTX 4080)", 61}};
    EXPECT_EQ(products(sensors), first);
    root.write("sys/class/hwmon/hwmon6/temp3_input", "42500\n");
    root.write("sys/class/hwmon/hwmon6/temp1_input", "38000\n");
    Readings second = first;
    second["it8688 temp3"] = 42.5;
    second["it8688 temp1"] = 38;
    drivers->sensors.clear(); // the card went to sleep
    second.erase("GPU (NVIDIA GeForce RTX 4080)");
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
