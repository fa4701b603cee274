#include "fakes/ScratchRoot.h"
#include "platform/linux/LinuxPowerSources.h"
#include "platform/linux/LinuxSmartBattery.h"
#include "platform/linux/PowerSupplies.h"

#include <cmath>
#include <gtest/gtest.h>
#include <sstream>

using namespace orb::platform;
using orb::testing::fixtures;
using orb::testing::ScratchRoot;
using Table = PropertyTable;

namespace {
// A table as "{key: value, ...}" in key order; doubles always show a decimal point.
std::string text(const std::optional<Table>& table) {
    if (!table)
        return "none";
    std::ostringstream out;
    out << "{";
    for (const char* separator = ""; const auto& [key, value] : *table) {
        out << separator << key << ": ";
        separator = ", ";
        if (auto string = value.string())
            out << '"' << *string << '"';
        else if (auto nested = value.table())
            out << text(*nested);
        else if (auto flag = value.toBool())
            out << (*flag ? "true" : "false");
        else if (auto number = value.toDouble(); value.numberKind() == NumberKind::Double)
            out << *number << (*number == std::floor(*number) ? ".0" : "");
        else
            out << *value.toInt64();
    }
    return out.str() + "}";
}

const std::string classDir = "sys/class/power_supply/";

Table description(std::int64_t current, std::int64_t max, std::string state,
                  std::int64_t minutesLeft, std::string health = "") {
    Table table{{"Type", "InternalBattery"},   {"Current Capacity", current},
                {"Max Capacity", max},         {"Is Charging", false},
                {"Power Source State", state}, {"Time to Empty", minutesLeft},
                {"Time to Full Charge", 0}};
    if (!health.empty())
        table.set("BatteryHealth", health);
    return table;
}
} // namespace

TEST(PowerSupplies, CapturedMachinesGiveTheFiguresTheirUsersSee) {
    struct Case {
        std::string root;
        std::optional<Table> description;
        std::string battery;
    };
    const std::vector<Case> cases = {
        // ThinkPad: energy and power only; its uevent says 40.73 of 47.39 Wh, the files win.
        {"prometheus-procfs", description(49450, 50060, "Battery Power", 614),
         "{Amperage: -395, AppleRawMaxCapacity: 4635, BatteryData: {AdapterPower: 0.0, "
         "SystemPower: 4.83}, CycleCount: 0, DesignCapacity: 4400, ExternalConnected: false, "
         "Voltage: 12229}"},
        {"prometheus-node_exporter", description(36580, 45070, "Battery Power", 439),
         "{Amperage: -429, AppleRawMaxCapacity: 4173, BatteryData: {AdapterPower: 0.0, "
         "SystemPower: 5.002}, CycleCount: 0, DesignCapacity: 4400, ExternalConnected: false, "
         "Voltage: 11660}"},
        // Negative current_now while discharging; no power_now, so the time comes from charge.
        {"lkml-transcribed/sbs-battery-imx6-2020",
         description(31090, 42450, "Battery Power", 6748, "Good"),
         "{Amperage: -26, AppleRawMaxCapacity: 3898, BatteryData: {SystemPower: 0.297466}, "
         "CycleCount: 12, DesignCapacity: 3800, Temperature: 1980, Voltage: 11441}"},
        // Two packs with only capacity and status, on a machine without an adapter supply.
        {"sysstat/root2", description(183, 200, "AC Power", -1), // Full + Error
         "{Amperage: 0, BatteryData: {SystemPower: 0.0}}"},
        {"sysstat/root3", description(150, 200, "Battery Power", -1),
         "{}"}, // Unknown + Discharging
        {"lkml-transcribed/logitech-m705-hidpp-2021", std::nullopt, "none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.root);
        const auto supplies = readPowerSupplies(fixtures + "/" + c.root);
        ASSERT_FALSE(supplies.empty());
        EXPECT_EQ(text(batteryDescription(supplies)), text(c.description));
        EXPECT_EQ(text(smartBatteryProperties(supplies)), c.battery);
    }
    // The class entries are followed into the device tree, whose links lead back to the class.
    EXPECT_EQ(readPowerSupplies(fixtures + "/prometheus-procfs").back().devicePath,
              "/devices/LNXSYSTM:00/LNXSYBUS:00/PNP0A08:00/device:00/PNP0C09:00/PNP0C0A:00/"
              "power_supply/BAT0");
}

TEST(PowerSupplies, TheOnlineAdapterReportsItsNegotiatedContract) {
    PowerSupply pack;
    pack.type = "Battery";
    pack.status = "Full";
    // Before the firmware fix voltage_max (13.4 V) is below voltage_now (20 V): never read.
    for (const auto& [root, online] : std::vector<std::pair<std::string, bool>>{
             {"chromebook-ucsi-pps-2025-before-fix", true},
             {"chromebook-ucsi-pps-2025-after-fix", true},
             {"dell-xps13-ucsi-2023", false},
         }) {
        SCOPED_TRACE(root);
        auto supplies = readPowerSupplies(fixtures + "/lkml-transcribed/" + root);
        supplies.push_back(pack);
        EXPECT_EQ(text(smartBatteryProperties(supplies)),
                  online ? "{AdapterDetails: {AdapterVoltage: 20000, Current: 3250, Watts: 65}, "
                           "Amperage: 0, BatteryData: {SystemPower: 0.0}, ExternalConnected: true}"
                         : "{Amperage: 0, BatteryData: {AdapterPower: 0.0, SystemPower: 0.0}, "
                           "ExternalConnected: false}");
        EXPECT_EQ(*batteryDescription(supplies)->find("Power Source State")->string(),
                  online ? "AC Power" : "Battery Power");
    }
}

TEST(PowerSupplies, TimesAndCurrentFollowTheStatus) {
    struct Case {
        std::string attributes;
        std::int64_t toEmpty, toFull, amperage;
    };
    const std::vector<Case> cases = {
        // The kernel's own estimate wins over the one from energy and power (300 min).
        {"status=Discharging energy_now=30000000 power_now=6000000 voltage_now=12000000 "
         "time_to_empty_now=7500",
         125, 0, -500},
        {"status=Charging energy_now=20000000 energy_full=40000000 power_now=10000000 "
         "voltage_now=12500000",
         -1, 120, 800},
        // A driver that gives current_now negative while charging; a 0 estimate is no estimate.
        {"status=Charging charge_now=1000000 charge_full=3000000 current_now=-500000 "
         "time_to_full_now=0",
         -1, 240, 500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.attributes);
        ScratchRoot root;
        root.writeWords(classDir + "BAT0", "type=Battery " + c.attributes);
        const auto supplies = readPowerSupplies(root.str());
        const auto description = batteryDescription(supplies).value();
        EXPECT_EQ(description.find("Time to Empty")->toInt64(), c.toEmpty);
        EXPECT_EQ(description.find("Time to Full Charge")->toInt64(), c.toFull);
        EXPECT_EQ(smartBatteryProperties(supplies)->find("Amperage")->toInt64(), c.amperage);
    }
}

TEST(PowerSupplies, TwoPacksShowAsOneAndDevicesNeverCount) {
    ScratchRoot root;
    root.writeWords(classDir + "BAT0",
                    "type=Battery status=Discharging health=Good energy_now=30000000 "
                    "energy_full=40000000 energy_full_design=50000000 power_now=10000000 "
                    "voltage_now=12000000 voltage_min_design=11000000 cycle_count=100 temp=250");
    // The idle pack holds more than its full mark.
    root.writeWords(classDir + "BAT1",
                    "type=Battery status=Unknown energy_now=20000000 energy_full=19000000 "
                    "energy_full_design=20000000 power_now=0 voltage_now=11500000 "
                    "voltage_min_design=11000000");
    root.writeWords(classDir + "BAT2", "type=Battery present=0"); // an empty slot
    root.writeWords(
        classDir + "hid-mouse",
        "type=Battery scope=Device status=Discharging energy_now=1000000 energy_full=1000000");
    root.writeWords(classDir + "AC", "type=Mains online=0");
    root.link("sys/class/power_supply/BAT9", "../../devices/gone"); // never captured
    const auto supplies = readPowerSupplies(root.str());
    ASSERT_EQ(supplies.size(), 5u);
    EXPECT_EQ(text(batteryDescription(supplies)),
              text(description(49000, 59000, "Battery Power", 300, "Good")));
    const std::string battery =
        "{Amperage: -833, AppleRawMaxCapacity: 5364, BatteryData: {AdapterPower: 0.0, "
        "SystemPower: 10.0}, CycleCount: 100, DesignCapacity: 6364, ExternalConnected: false, "
        "Temperature: 2500, Voltage: 12000}";
    EXPECT_EQ(text(smartBatteryProperties(supplies)), battery);
    PropertyTable fromUPower{{"Type", "InternalBattery"}}; // which has no health of its own
    addBatteryHealth(fromUPower, supplies);
    EXPECT_EQ(text(fromUPower), R"({BatteryHealth: "Good", Type: "InternalBattery"})");

    // One service, named by the first pack, for the packs together; none without a battery.
    auto services = LinuxSmartBattery(std::make_shared<PowerSupplyReader>(root.str())).services();
    ASSERT_EQ(services.size(), 1u);
    EXPECT_EQ(services[0]->entryId(), registryEntryId("/class/power_supply/BAT0"));
    EXPECT_EQ(text(services[0]->properties()), battery);
    EXPECT_TRUE(LinuxSmartBattery(std::make_shared<PowerSupplyReader>(
                                      fixtures + "/lkml-transcribed/logitech-m705-hidpp-2021"))
                    .services()
                    .empty());
}

TEST(PowerSupplies, GarbageAttributesAreEmptyAndReadsAreSharedForAWindow) {
    ScratchRoot root;
    root.writeWords(classDir + "BAT0",
                    "type=Battery status=Charging energy_now=garbage energy_full= capacity=12abc "
                    "voltage_now=- current_now=-5x present=2");
    root.writeWords(classDir + "USB", "type=USB online=yes");
    const auto supplies = readPowerSupplies(root.str());
    ASSERT_EQ(supplies.size(), 2u);
    EXPECT_EQ(text(batteryDescription(supplies)),
              "{Is Charging: true, Power Source State: \"AC Power\", Time to Empty: -1, "
              "Time to Full Charge: 0, Type: \"InternalBattery\"}");
    EXPECT_EQ(text(smartBatteryProperties(supplies)), "{BatteryData: {SystemPower: 0.0}}");

    PowerSupplyReader sharing(root.str(), std::chrono::hours(1));
    PowerSupplyReader fresh(root.str(), std::chrono::milliseconds(0));
    sharing.supplies(), fresh.supplies();
    root.write("sys/class/power_supply/BAT0/status", "Full\n");
    EXPECT_EQ(sharing.supplies()[0].status, "Charging");
    EXPECT_EQ(fresh.supplies()[0].status, "Full");
}
