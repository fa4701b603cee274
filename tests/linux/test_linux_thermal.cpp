#include "fakes/ScratchRoot.h"
#include "fakes/Text.h"
#include "platform/linux/Hwmon.h"
#include "platform/linux/LinuxDeviceRegistry.h"
#include "platform/linux/LinuxSmc.h"
#include "platform/linux/LinuxThermalState.h"
#include "platform/linux/LinuxThermalZones.h"
#include "sensors/SMC.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

using namespace orb::platform;
using orb::testing::fixtures;
using orb::testing::ScratchRoot;
using orb::testing::text;

namespace {

using namespace std::chrono_literals;

struct Thermal {
    explicit Thermal(const std::string& root)
        : reader(std::make_shared<ThermalZoneReader>(root, 0ms)), state(root, reader) {}
    std::shared_ptr<ThermalZoneReader> reader;
    LinuxThermalState state;
};

void writeZone(ScratchRoot& root, int number, const std::string& temp,
               const std::vector<std::pair<std::string, std::string>>& trips) {
    const auto dir = "sys/class/thermal/thermal_zone" + std::to_string(number) + "/";
    root.write(dir + "type", "zone" + std::to_string(number) + "\n");
    root.write(dir + "temp", temp);
    for (std::size_t i = 0; i < trips.size(); ++i) {
        const auto stem = dir + "trip_point_" + std::to_string(i);
        root.write(stem + "_type", trips[i].first + "\n");
        root.write(stem + "_temp", trips[i].second + "\n");
    }
}

} // namespace

TEST(LinuxThermalZones, KindsFollowTheKernelsZoneNames) {
    // Zone types as the device trees of four SoC families, the Raspberry Pi kernels and x86
    // firmware name them.
    const std::pair<ZoneKind, std::vector<std::string>> kinds[] = {
        {ZoneKind::Processor,
         {"cpu-thermal", "bcm2835_thermal", "soc-thermal", "package-thermal", "bigcore0-thermal",
          "littlecore-thermal", "cpu4-top-thermal", "cluster1-thermal", "cpu-little0-thermal",
          "cpu-big1-thermal", "CPU_THERMAL", "x86_pkg_temp", "soc_dts1"}},
        {ZoneKind::Graphics, {"gpu-thermal", "gpu1-thermal", "gpu-thermal-top", "gpu-top-thermal"}},
        {ZoneKind::Other,
         {"center-thermal", "npu-thermal", "aoss0-thermal", "nspss1-thermal", "apu-thermal",
          "video-thermal", "acpitz", "INT3400 Thermal", "iwlwifi_1", "B0D4", "BAT0", ""}},
    };
    for (const auto& [kind, types] : kinds)
        for (const auto& type : types)
            EXPECT_EQ(zoneKind(type), kind) << type;
}

TEST(LinuxThermalZones, CapturedZonesGiveTheState) {
    // B0D4 is 7 °C below its passive trip; x86_pkg_temp's trips at 0 and iwlwifi's below
    // absolute zero are unused; the RK3588's zones are far from their critical trips.
    const std::pair<std::string, ThermalStateLevel> cases[] = {
        {"prometheus-procfs", thermalNominal},
        {"prometheus-node_exporter", thermalNominal},
        {"handmade-thermal/laptop", thermalFair},
        {"arm-boards/rk3588-rock5b", thermalNominal},
    };
    for (const auto& [root, state] : cases)
        EXPECT_EQ(Thermal(fixtures + "/" + root).state.thermalState(), state) << root;

    // Nothing to read at all; a zone that cannot answer is not a reading either.
    ScratchRoot root;
    EXPECT_EQ(Thermal(root.str()).state.thermalState(), thermalUnknown);
    writeZone(root, 0, "", {});
    EXPECT_EQ(Thermal(root.str()).state.thermalState(), thermalUnknown);
}

TEST(LinuxThermalState, TripsDecideAndOnlyThoseThatCanFireCount) {
    using Trips = std::vector<std::pair<std::string, std::string>>;
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
    };
    for (const auto& c : cases) {
        ScratchRoot root;
        writeZone(root, 3, c.temp, c.trips);
        EXPECT_EQ(Thermal(root.str()).state.thermalState(), c.expected) << c.temp;
    }
    // An ACPI zone's `passive` attribute is a passive trip; 0 turns it off.
    ScratchRoot root;
    writeZone(root, 0, "65000", {});
    root.write("sys/class/thermal/thermal_zone0/passive", "60000\n");
    writeZone(root, 1, "65000", {});
    root.write("sys/class/thermal/thermal_zone1/passive", "0\n");
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

TEST(LinuxHwmon, ChipsKeepTheirClassNumberAndDevicePath) {
    // Their channels, labels and devices are read through the sensors' and the controller's
    // tables of the same trees (test_linux_hid_sensors.cpp, LinuxSmc below).
    const auto chips = readHwmon(fixtures + "/prometheus-node_exporter");
    ASSERT_EQ(chips.size(), 11u);
    EXPECT_EQ(std::pair(chips[10].number, chips[10].name),
              std::pair(10, std::string("mt7996_phy0_2")));
    EXPECT_EQ(chips[0].devicePath, "/devices/platform/coretemp.0");
}

TEST(LinuxHwmon, ImpossibleReadingsAreNotReadings) {
    ScratchRoot root;
    const char* readings[] = {"-273150", "65261850", "-40000", "0",
                              "150000",  "garbage",  "",       "42500"};
    for (int i = 0; i < 8; ++i)
        root.write("sys/class/hwmon/hwmon0/temp" + std::to_string(i + 1) + "_input",
                   std::string(readings[i]) + "\n");
    root.write("sys/class/hwmon/hwmon0/name", "nvme\n");
    const auto chips = readHwmon(root.str());
    ASSERT_EQ(chips.size(), 1u);
    ASSERT_EQ(chips[0].temperatures.size(), 8u);
    for (int i = 0; i < 7; ++i)
        EXPECT_FALSE(chips[0].temperatures[i].celsius) << readings[i];
    EXPECT_EQ(chips[0].temperatures[7].celsius, 42.5);
}

TEST(LinuxSmc, TheControllerClientReadsTheKeysOfHwmonChips) {
    // Tdie is preferred to Tctl; nouveau has one channel. A zone's hwmon copy (cpu_thermal) is
    // the zone's sensor, not a key.
    ScratchRoot zen({{"sys/class/hwmon/hwmon0/name", "zenpower\n"},
                     {"sys/class/hwmon/hwmon0/temp1_label", "Tctl\n"},
                     {"sys/class/hwmon/hwmon0/temp1_input", "58000\n"},
                     {"sys/class/hwmon/hwmon0/temp2_label", "Tdie\n"},
                     {"sys/class/hwmon/hwmon0/temp2_input", "48000\n"},
                     {"sys/class/hwmon/hwmon1/name", "cpu_thermal\n"},
                     {"sys/class/hwmon/hwmon1/temp1_input", "47000\n"},
                     {"sys/class/hwmon/hwmon2/name", "nouveau\n"},
                     {"sys/class/hwmon/hwmon2/temp1_input", "40000\n"}});
    // The applesmc driver's own keys, one without a reading, and a CPU key whose reading is gone.
    ScratchRoot apple({{"sys/class/hwmon/hwmon0/name", "applesmc\n"},
                       {"sys/class/hwmon/hwmon0/temp1_label", "TC0P\n"},
                       {"sys/class/hwmon/hwmon0/temp1_input", "41250\n"},
                       {"sys/class/hwmon/hwmon0/temp2_label", "TB0T\n"},
                       {"sys/class/hwmon/hwmon0/temp2_input", "0\n"},
                       {"sys/class/hwmon/hwmon1/name", "coretemp\n"},
                       {"sys/class/hwmon/hwmon1/temp1_label", "Package id 0\n"},
                       {"sys/class/hwmon/hwmon1/temp1_input", "-273150\n"}});
    ScratchRoot empty;
    const std::string found1 = "Scan complete. Found 1 sensors.",
                      found2 = "Scan complete. Found 2 sensors.";
    // A graphics card's fans are the card's own, never the machine's; fans are whole rpm, so a
    // server's fans above 16,383 rpm keep their speed, and the fans behind a stopped one spin.
    const std::string cases[][3] = {
        {fixtures + "/prometheus-node_exporter", "CPU Die=55 TC1D=55 cpu=55 gpu=-1 fans=1998 1098 ",
         found2},
        {fixtures + "/telegraf/temp-with_name", "CPU Die=31.875 cpu=31.875 gpu=-1 fans=", found1},
        {fixtures + "/lact/amd/rx6900xt", "GPU Die=56 cpu=-1 gpu=56 fans=", found1},
        {fixtures + "/lact/amd/phoenix", "GPU Die=25 cpu=-1 gpu=25 fans=", found1},
        {fixtures + "/lact/intel/b580", "GPU Die=54 cpu=-1 gpu=54 fans=", found1},
        {fixtures + "/lact/intel/a380-xe", "GPU Die=56 cpu=-1 gpu=56 fans=", found1},
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
}
