#include "fakes/ScratchRoot.h"
#include "fakes/Text.h"
#include "platform/SmcKeyData.h"
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

// The table as "KEY=value" words; temperatures and fans decoded, "-" for a key without reading.
std::string describe(const std::vector<SmcKey>& table) {
    std::ostringstream out;
    for (const auto& key : table) {
        out << key.name << "=";
        if (key.value.empty())
            out << "-";
        else if (key.type == "sp78")
            out << smc::decodeSp78(key.value[0], key.value[1]);
        else if (key.type == "ui16")
            out << (key.value[0] << 8 | key.value[1]);
        else
            out << int(key.value.back());
        out << " ";
    }
    return out.str();
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

TEST(LinuxHwmon, ChipsChannelsAndDevicesOfCapturedTrees) {
    const auto chips = readHwmon(fixtures + "/prometheus-node_exporter");
    std::ostringstream seen;
    for (const auto& chip : chips) {
        seen << chip.number << ":" << chip.name << "@" << chip.deviceName;
        for (const auto& t : chip.temperatures)
            seen << " t" << t.index << "(" << t.label << ")=" << t.celsius.value_or(-1);
        for (const auto& f : chip.fans)
            seen << " f" << f.index << "=" << f.rpm.value_or(-1);
        seen << "\n";
    }
    EXPECT_EQ(seen.str(), "0:coretemp@coretemp.0 t1(Physical id 0)=55 t2(Core 0)=54 t3(Core 1)=52 "
                          "t4(Core 2)=53 t5(Core 3)=50\n"
                          "1:coretemp@coretemp.1 t1(Physical id 0)=55 t2(Core 0)=54 t3(Core 1)=52 "
                          "t4(Core 2)=53 t5(Core 3)=50\n"
                          "2:applesmc@applesmc.768 f1=0 f2=1998\n"
                          "3:nct6779@ f2=1098\n"
                          "4:@ t1(foosensor)=55 t2(foosensor)=54\n"
                          "5:bogus@\n"
                          "6:asus@asus-nb-wmi\n"
                          "7:asus_wmi_sensors@asus-nb-wmi\n"
                          "8:mt7996_phy0_0@phy0 t1()=55\n"
                          "9:mt7996_phy0_1@phy0 t1()=56\n"
                          "10:mt7996_phy0_2@phy0 t1()=57\n");
    EXPECT_EQ(chips[0].devicePath, "/devices/platform/coretemp.0");

    // Dangling device links still name their device; the k10temp gap leaves temp3 in place.
    const auto drives = readHwmon(fixtures + "/telegraf/temp-with_name");
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[1].deviceName, "nvme1");
    EXPECT_EQ(drives[2].temperatures.back().index, 3);
    EXPECT_EQ(drives[2].temperatures.back().label, "Tccd1");

    // NUL-padded files read as their values.
    const auto card = readHwmon(fixtures + "/lact/amd/rx6900xt");
    ASSERT_EQ(card.size(), 1u);
    EXPECT_EQ(card[0].temperatures[1].label, "junction");
    EXPECT_EQ(card[0].temperatures[1].celsius, 59.0);
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

TEST(LinuxSmc, KeyTablesOfCapturedMachines) {
    // A graphics card's fans are the card's own, never the machine's; fans are whole rpm, so a
    // server's fans above 16,383 rpm keep their speed.
    const std::pair<std::string, std::string> cases[] = {
        {"/prometheus-node_exporter", "#KEY=6 TC0D=55 TC1D=55 F0Ac=0 F1Ac=1998 F2Ac=1098 "},
        {"/telegraf/temp-with_name", "#KEY=2 TC0D=31.875 "},
        {"/lact/amd/rx6900xt", "#KEY=2 Tg0D=56 "},
        {"/lact/amd/phoenix", "#KEY=2 Tg0D=25 "},
        {"/lact/intel/b580", "#KEY=2 Tg0D=54 "},
        {"/desktop-hwmon/asus-x570i-nct6798",
         "#KEY=7 TC0D=63.375 Tg0D=52 F0Ac=0 F1Ac=847 F2Ac=0 F3Ac=0 "},
        {"/handmade-server-fans/dual-rotor",
         "#KEY=9 F0Ac=9973 F1Ac=21802 F2Ac=9973 F3Ac=10080 F4Ac=10838 F5Ac=23734 F6Ac=10683 "
         "F7Ac=10838 "}};
    for (const auto& [root, expected] : cases)
        EXPECT_EQ(describe(smcKeyTable(readHwmon(fixtures + root))), expected) << root;

    // Tdie is preferred to Tctl; nouveau has one channel. A zone's hwmon copy (cpu_thermal) is
    // the zone's sensor, not a key.
    ScratchRoot other({{"sys/class/hwmon/hwmon0/name", "zenpower\n"},
                       {"sys/class/hwmon/hwmon0/temp1_label", "Tctl\n"},
                       {"sys/class/hwmon/hwmon0/temp1_input", "58000\n"},
                       {"sys/class/hwmon/hwmon0/temp2_label", "Tdie\n"},
                       {"sys/class/hwmon/hwmon0/temp2_input", "48000\n"},
                       {"sys/class/hwmon/hwmon1/name", "cpu_thermal\n"},
                       {"sys/class/hwmon/hwmon1/temp1_input", "47000\n"},
                       {"sys/class/hwmon/hwmon2/name", "nouveau\n"},
                       {"sys/class/hwmon/hwmon2/temp1_input", "40000\n"}});
    EXPECT_EQ(describe(smcKeyTable(readHwmon(other.str()))), "#KEY=3 TC0D=48 Tg0D=40 ");

    // The applesmc driver's own keys, and a CPU key whose reading is gone.
    ScratchRoot apple({{"sys/class/hwmon/hwmon0/name", "applesmc\n"},
                       {"sys/class/hwmon/hwmon0/temp1_label", "TC0P\n"},
                       {"sys/class/hwmon/hwmon0/temp1_input", "41250\n"},
                       {"sys/class/hwmon/hwmon0/temp2_label", "TB0T\n"},
                       {"sys/class/hwmon/hwmon0/temp2_input", "0\n"},
                       {"sys/class/hwmon/hwmon1/name", "coretemp\n"},
                       {"sys/class/hwmon/hwmon1/temp1_label", "Package id 0\n"},
                       {"sys/class/hwmon/hwmon1/temp1_input", "-273150\n"}});
    EXPECT_EQ(describe(smcKeyTable(readHwmon(apple.str()))), "#KEY=4 TC0P=41.25 TB0T=- TC0D=- ");
}

TEST(LinuxSmc, TheControllerClientReadsCapturedMachines) {
    ScratchRoot empty;
    const std::string cases[][3] = {
        // The fans behind a stopped one spin.
        {fixtures + "/prometheus-node_exporter", "CPU Die=55 TC1D=55 cpu=55 gpu=-1 fans=1998 1098 ",
         "Scan complete. Found 2 sensors."},
        {fixtures + "/lact/intel/a380-xe",
         "GPU Die=56 cpu=-1 gpu=56 fans=", "Scan complete. Found 1 sensors."},
        {fixtures + "/handmade-server-fans/dual-rotor",
         "cpu=-1 gpu=-1 fans=9973 21802 9973 10080 10838 23734 ", "No sensors found."},
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
        EXPECT_EQ(log.str(), "SMC: Connection established.\nSMC: " + scan + "\n");
    }
}
