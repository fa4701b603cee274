// Thermal zones and their state, hwmon chips, and the controller keys and sensors read from them.
#include "fakes/ScratchRoot.h"
#include "fakes/Text.h"
#include "platform/linux/Hwmon.h"
#include "platform/linux/LinuxDeviceRegistry.h"
#include "platform/linux/LinuxHidSensors.h"
#include "platform/linux/LinuxSmc.h"
#include "platform/linux/LinuxThermalState.h"
#include "platform/linux/LinuxThermalZones.h"
#include "sensors/HIDMonitor.h"
#include "sensors/SMC.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

using namespace orb;
using namespace orb::platform;
using orb::testing::fixtures;
using orb::testing::ScratchRoot;
using orb::testing::text;
using Readings = std::map<std::string, double>;

namespace {

using namespace std::chrono_literals;

struct Thermal {
    explicit Thermal(const std::string& root)
        : reader(std::make_shared<ThermalZoneReader>(root, 0ms)), state(root, reader) {}
    std::shared_ptr<ThermalZoneReader> reader;
    LinuxThermalState state;
};

using Trips = std::vector<std::pair<std::string, std::string>>;

// thermal_zoneN with a temperature, trip points as (type, millidegrees) and further words.
void writeZone(ScratchRoot& root, int number, const std::string& temp, const Trips& trips,
               const std::string& words = "") {
    const auto n = std::to_string(number);
    std::string all = "type=zone" + n + " temp=" + temp + " " + words;
    for (std::size_t i = 0; i < trips.size(); ++i) {
        const auto stem = " trip_point_" + std::to_string(i);
        all += stem + "_type=" + trips[i].first + stem + "_temp=" + trips[i].second;
    }
    root.writeWords("sys/class/thermal/thermal_zone" + n, all);
}

// Sensors over hwmon and the zones of `root`, read afresh on every call.
LinuxHidSensors sensorsOf(const std::string& root,
                          std::shared_ptr<const DriverTemperatures> drivers = nullptr) {
    return LinuxHidSensors(std::make_shared<HwmonReader>(root, 0ms),
                           std::make_shared<ThermalZoneReader>(root, 0ms), std::move(drivers));
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

TEST(LinuxThermalZones, KindsFollowTheKernelsZoneNames) {
    // Zone types as the device trees of four SoC families, the Raspberry Pi kernels and x86
    // firmware name them.
    const std::pair<ZoneKind, std::vector<std::string>> kinds[] = {
        {ZoneKind::Processor,
         {"cpu-thermal", "CPU_THERMAL", "bcm2835_thermal", "soc-thermal", "package-thermal",
          "bigcore0-thermal", "littlecore-thermal", "cluster1-thermal", "x86_pkg_temp",
          "soc_dts1"}},
        {ZoneKind::Graphics, {"gpu-thermal", "gpu1-thermal"}},
        {ZoneKind::Other,
         {"center-thermal", "npu-thermal", "apu-thermal", "acpitz", "INT3400 Thermal", "iwlwifi_1",
          "B0D4", "BAT0", ""}},
    };
    for (const auto& [kind, types] : kinds)
        for (const auto& type : types)
            EXPECT_EQ(zoneKind(type), kind) << type;
}

TEST(LinuxThermalState, TripsDecideAndOnlyThoseThatCanFireCount) {
    struct Case {
        const char* temp;
        Trips trips;
        ThermalStateLevel expected;
    };
    const Case cases[] = {
        {"95000", {{"active", "50000"}, {"active", "60000"}}, thermalNominal}, // fans only
        {"79999", {{"passive", "90000"}}, thermalNominal},
        {"80000", {{"passive", "90000"}}, thermalFair},
        {"90000", {{"passive", "90000"}, {"critical", "110000"}}, thermalSerious},
        {"99000", {{"hot", "99000"}}, thermalCritical},
        {"94999", {{"critical", "100000"}}, thermalNominal},
        {"95000", {{"critical", "100000"}}, thermalCritical},
        // Unused slots, and a zone whose reading is no temperature.
        {"50000", {{"passive", "0"}, {"critical", "-273150"}, {"hot", "-274000"}}, thermalNominal},
        {"-44000", {{"passive", "30000"}}, thermalUnknown},
        {"garbage", {{"critical", "10000"}}, thermalUnknown},
        {"", {}, thermalUnknown}, // a zone that cannot answer
    };
    for (const auto& c : cases) {
        ScratchRoot root;
        writeZone(root, 3, c.temp, c.trips);
        EXPECT_EQ(Thermal(root.str()).state.thermalState(), c.expected) << c.temp;
    }
    // B0D4 is 7 °C below its passive trip; x86_pkg_temp's trips at 0 and iwlwifi's below
    // absolute zero are unused; the RK3588's zones are far from their critical trips.
    EXPECT_EQ(Thermal(fixtures + "/handmade-thermal/laptop").state.thermalState(), thermalFair);
    EXPECT_EQ(Thermal(fixtures + "/arm-boards/rk3588-rock5b").state.thermalState(), thermalNominal);
    ScratchRoot root; // nothing to read at all
    EXPECT_EQ(Thermal(root.str()).state.thermalState(), thermalUnknown);

    // An ACPI zone's `passive` attribute is a passive trip; 0 turns it off.
    writeZone(root, 0, "65000", {}, "passive=60000");
    writeZone(root, 1, "65000", {}, "passive=0");
    Thermal thermal(root.str());
    EXPECT_EQ(thermal.reader->zones().at(1).trips.size(), 0u);
    EXPECT_EQ(thermal.state.thermalState(), thermalSerious);
}

TEST(LinuxThermalState, RisingThrottleCountersRaiseTheState) {
    ScratchRoot root;
    root.copy(fixtures + "/prometheus-node_exporter");
    namespace stdfs = std::filesystem;
    Thermal thermal(root.str());
    const auto counters = std::string("sys/devices/system/cpu/cpu2/thermal_throttle/");
    auto state = [&](const std::string& coreCount) {
        if (!coreCount.empty())
            root.write(counters + "core_throttle_count", coreCount);
        return thermal.state.thermalState();
    };
    // The first read only learns the counts; then each rise, and rises on consecutive reads.
    EXPECT_EQ(state(""), thermalNominal);
    EXPECT_EQ(state("1"), thermalFair);
    EXPECT_EQ(state("2"), thermalSerious);
    EXPECT_EQ(state("2"), thermalNominal);
    EXPECT_EQ(state("3"), thermalFair);
    // A processor going offline takes its counters away without a false alarm.
    stdfs::remove_all(root.path() / counters);
    EXPECT_EQ(state(""), thermalNominal);
    // With the zone gone too, the counters left are still a reading.
    stdfs::remove(root.path() / "sys/class/thermal/thermal_zone0");
    EXPECT_EQ(state(""), thermalNominal);
}

TEST(LinuxHwmon, ChipsKeepTheirClassNumberAndImpossibleReadingsAreNotReadings) {
    // Their channels, labels and devices are read through the sensors' and the controller's
    // tables of the same trees (LinuxSmc and LinuxHidSensors below). hwmon10 comes last.
    const auto last = readHwmon(fixtures + "/prometheus-node_exporter").at(10);
    EXPECT_EQ(std::pair(last.number, last.name), std::pair(10, std::string("mt7996_phy0_2")));

    ScratchRoot root;
    root.writeWords("sys/class/hwmon/hwmon0",
                    "name=nvme temp1_input=-273150 temp2_input=65261850 temp3_input=-40000 "
                    "temp4_input=0 temp5_input=150000 temp6_input=garbage temp7_input= "
                    "temp8_input=42500");
    const auto chip = readHwmon(root.str()).at(0);
    std::vector<std::optional<double>> celsius;
    for (const auto& channel : chip.temperatures)
        celsius.push_back(channel.celsius);
    EXPECT_EQ(celsius, (std::vector<std::optional<double>>{{}, {}, {}, {}, {}, {}, {}, 42.5}));
}

TEST(LinuxSmc, TheControllerClientReadsTheKeysOfHwmonChips) {
    // Tdie is preferred to Tctl; nouveau has one channel. A zone's hwmon copy (cpu_thermal) is
    // the zone's sensor, not a key.
    ScratchRoot zen, apple, empty;
    const std::string hwmon = "sys/class/hwmon/hwmon";
    zen.writeWords(hwmon + "0", "name=zenpower temp1_label=Tctl temp1_input=58000 "
                                "temp2_label=Tdie temp2_input=48000");
    zen.writeWords(hwmon + "1", "name=cpu_thermal temp1_input=47000");
    zen.writeWords(hwmon + "2", "name=nouveau temp1_input=40000");
    // The applesmc driver's own keys, one without a reading, and a CPU key whose reading is gone.
    apple.writeWords(hwmon + "0", "name=applesmc temp1_label=TC0P temp1_input=41250 "
                                  "temp2_label=TB0T temp2_input=0");
    apple.writeWords(hwmon + "1", "name=coretemp temp1_input=-273150");
    apple.write(hwmon + "1/temp1_label", "Package id 0\n");
    const std::string found1 = "Scan complete. Found 1 sensors.",
                      found2 = "Scan complete. Found 2 sensors.";
    // A graphics card's fans are the card's own, never the machine's; fans are whole rpm, so a
    // server's fans above 16,383 rpm keep their speed, and the fans behind a stopped one spin.
    const std::string cases[][3] = {
        {fixtures + "/prometheus-node_exporter", "CPU Die=55 TC1D=55 cpu=55 gpu=-1 fans=1998 1098 ",
         found2},
        {fixtures + "/lact/amd/rx6900xt", "GPU Die=56 cpu=-1 gpu=56 fans=", found1},
        {fixtures + "/lact/intel/b580", "GPU Die=54 cpu=-1 gpu=54 fans=", found1},
        {fixtures + "/desktop-hwmon/asus-x570i-nct6798",
         "CPU Die=63.375 GPU Die=52 cpu=63.375 gpu=52 fans=847 ", found2},
        {fixtures + "/handmade-server-fans/dual-rotor",
         "cpu=-1 gpu=-1 fans=9973 21802 9973 10080 10838 23734 ", "No sensors found."},
        {zen.str(), "CPU Die=48 GPU Die=40 cpu=48 gpu=40 fans=", found2},
        // Three keys found; two of them without a reading.
        {apple.str(),
         "CPU Proximity=41.25 cpu=41.25 gpu=-1 fans=", "Scan complete. Found 3 sensors."},
        {empty.str(), "cpu=-1 gpu=-1 fans=", "No sensors found."}};
    for (const auto& [root, expected, scan] : cases) {
        LinuxDeviceRegistry registry(false);
        registry.addSource("AppleSMC",
                           std::make_unique<LinuxSmc>(std::make_shared<HwmonReader>(root)));
        std::ostringstream log;
        orb::sensors::SMC smc(registry, log);
        for (int tick = 0; tick < 2; ++tick) {
            std::ostringstream seen;
            for (const auto& [label, celsius] : smc.readAllTemperatures())
                seen << label << "=" << celsius << " ";
            for (const auto& [name, value] :
                 {std::pair("cpu", smc.readCPUTemperature()), {"gpu", smc.readGPUTemperature()}})
                seen << name << "=" << value.value_or(-1) << " ";
            seen << "fans=";
            for (const int rpm : smc.readFanSpeeds())
                seen << rpm << " ";
            EXPECT_EQ(seen.str(), expected) << root;
        }
        EXPECT_EQ(log.str(), "SMC: Connection established.\nSMC: " + scan + "\n") << root;
    }
    // Each new pass over the chips gives the keys their new readings.
    ScratchRoot moving;
    moving.writeWords(hwmon + "0", "name=k10temp temp1_label=Tctl temp1_input=50000");
    LinuxDeviceRegistry registry(false);
    registry.addSource("AppleSMC", std::make_unique<LinuxSmc>(std::make_shared<HwmonReader>(
                                       moving.str(), std::chrono::milliseconds(0))));
    std::ostringstream log;
    orb::sensors::SMC smc(registry, log);
    EXPECT_EQ(smc.readCPUTemperature(), 50);
    moving.write(hwmon + "0/temp1_input", "61000\n");
    EXPECT_EQ(smc.readCPUTemperature(), 61);
}

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
        {"lact/intel/a380-xe", "xe GPU vram=54"},
        {"lact/intel/a380-i915", ""},
        // A Raspberry Pi kernel names its zone after the driver; acpitz at -44 °C is no reading.
        {"prometheus-procfs", "CPU (bcm2835_thermal)=49.925"},
        // x86_pkg_temp is coretemp's; iwlwifi cannot answer; SEN1 reads -273.15 °C.
        {"handmade-thermal/laptop",
         "B0D4=86, INT3400 Thermal=20, TSKN=41.05, acpitz=47, acpitz 2=30, pch_cannonlake=54"},
        // The hwmon copies the thermal core makes of the zones are not listed a second time.
        {"arm-boards/rk3588-rock5b",
         "CPU (bigcore0-thermal)=63.8, CPU (bigcore1-thermal)=64.7, "
         "CPU (littlecore-thermal)=62.8, CPU (soc-thermal)=61.9, GPU (gpu-thermal)=58.2, "
         "center-thermal=59.2, npu-thermal=60.1"},
        // A Super-I/O board beside a graphics card whose edge channel is the controller's key.
        {"desktop-hwmon/asus-x570i-nct6798",
         "amdgpu junction=54, amdgpu mem=56, k10temp Tccd1=53.75, k10temp Tccd2=48, "
         "nct6798 AUXTIN0=66.5, nct6798 AUXTIN1=46, nct6798 AUXTIN2=21, nct6798 AUXTIN3=67, "
         "nct6798 CPUTIN=48.5, nct6798 PECI Agent 0 Calibration=53, nct6798 SYSTIN=46"},
    };
    for (const auto& [machine, expected] : machines) {
        auto sensors = sensorsOf(fixtures + "/" + machine);
        EXPECT_EQ(text(products(sensors)), expected) << machine;
    }

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
    int zone = 0;
    for (const char* words :
         {"type=x86_pkg_temp temp=61000", "type=iwlwifi-1 temp=41000", "type=BAT0 temp=30000",
          "type=acpitz temp=104500", "type=SEN1 temp=500"})
        root.writeWords("sys/class/thermal/thermal_zone" + std::to_string(zone++), words);
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
