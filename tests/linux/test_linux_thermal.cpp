#include "fakes/ScratchRoot.h"
#include "fakes/Text.h"
#include "platform/linux/LinuxThermalState.h"
#include "platform/linux/LinuxThermalZones.h"
#include "sensors/IoregMonitor.h"

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
        : reader(std::make_shared<ThermalZoneReader>(root, 0ms)), state(root, reader) {
        registry.addSource(std::string(thermal_sensor::serviceClass),
                           std::make_unique<LinuxThermalZones>(reader));
    }
    // Each service as "name=°C", in order.
    std::string services() {
        std::ostringstream found;
        auto iterator = registry.matchingServices(thermal_sensor::serviceClass);
        while (auto service = iterator->next()) {
            const auto table = service->properties();
            found << *table->find(thermal_sensor::nameKey)->string() << "="
                  << *table->find(thermal_sensor::temperatureKey)->toInt64() / 100.0 << " ";
        }
        return found.str();
    }
    std::shared_ptr<ThermalZoneReader> reader;
    LinuxThermalState state;
    LinuxDeviceRegistry registry{false};
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

TEST(LinuxThermalZones, CapturedZonesBecomeSensorsAndGiveTheState) {
    struct Case {
        std::string root, services, scanned;
        ThermalStateLevel state;
    };
    const Case cases[] = {
        // acpitz at -44 °C is a missing sensor, not a reading.
        {"prometheus-procfs", "bcm2835_thermal=49.93 ", "bcm2835_thermal.Temperature=49.93",
         thermalNominal},
        // 12.38 °C is presented, and below the scan's window.
        {"prometheus-node_exporter", "cpu-thermal=12.38 ", "", thermalNominal},
        // x86_pkg_temp is coretemp's; iwlwifi cannot answer; SEN1 reads -273.15 °C; 20.00 °C
        // is outside the window. B0D4 is 7 °C below its passive trip; x86_pkg_temp's trips at
        // 0 and iwlwifi's below absolute zero are unused.
        {"handmade-thermal/laptop",
         "acpitz=47 INT3400 Thermal=20 TSKN=41.05 pch_cannonlake=54 B0D4=86 acpitz 2=30 ",
         "B0D4.Temperature=86, TSKN.Temperature=41.05, acpitz 2.Temperature=30, "
         "acpitz.Temperature=47, pch_cannonlake.Temperature=54",
         thermalFair},
    };
    for (const auto& c : cases) {
        Thermal thermal(fixtures + "/" + c.root);
        EXPECT_EQ(thermal.services(), c.services) << c.root;
        EXPECT_EQ(text(orb::IoregMonitor::registryTemperatures(thermal.registry)), c.scanned)
            << c.root;
        EXPECT_EQ(thermal.state.thermalState(), c.state) << c.root;
    }

    // Nothing to read at all; a zone that cannot answer is not a reading either.
    ScratchRoot root;
    Thermal nothing(root.str());
    EXPECT_TRUE(nothing.services().empty());
    EXPECT_EQ(nothing.state.thermalState(), thermalUnknown);
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
