#include "fakes/FakeDeviceRegistry.h"
#include "fakes/Text.h"
#include "sensors/IoregMonitor.h"

#include <gtest/gtest.h>

using namespace orb;
using orb::testing::FakeDeviceRegistry;
using orb::testing::text;
using platform::PropertyTable;

TEST(IoregMonitor, IntegerTemperaturesInsideTheWindowsEnterUnderTheirLabels) {
    FakeDeviceRegistry registry;
    // The battery is seen by its own class and as a power source.
    registry.services["AppleSmartBattery"] = {
        PropertyTable{{"Temperature", 3050}, {"VirtualTemperature", 3100}, {"Voltage", 12000}}};
    registry.services["IOPMPowerSource"] = {PropertyTable{{"Temperature", 3050}}};
    PropertyTable pmu{{"Product", "PMU"},      {"die_temp", 45},    {"temp_half", 35.5},
                      {"temp_whole", 35.0},    {"temp_text", "40"}, {"fan_speed", 50},
                      {"Sensor_negative", -30}};
    // Both ends of the windows of whole degrees and of hundredths.
    for (int value : {20, 21, 99, 100, 2000, 2001, 9999, 10000})
        pmu.set("temp_" + std::to_string(value), value);
    // A table that cannot be read; a second PMU, whose die_temp wins as the later.
    registry.services["ApplePMGR"] = {std::nullopt, pmu,
                                      PropertyTable{{"Product", "PMU"}, {"die_temp", 47}}};
    // "name" before "Product"; neither: the class name.
    registry.services["AppleEmbeddedTempSensor"] = {
        PropertyTable{{"name", "acpitz"}, {"Product", "unused"}, {"Temperature", 4200}},
        PropertyTable{{"name", 7}, {"Product", "TSKN"}, {"THERM", 3990}}};
    registry.services["IOPlatformDevice"] = {PropertyTable{{"dieTemp", 60}}};
    registry.services["NotScanned"] = {PropertyTable{{"Temperature", 50}}};

    EXPECT_EQ(text(IoregMonitor::read(registry)),
              "Battery=30.5, Battery Temp=30.5, Battery Temp (Virtual)=31, "
              "IOPlatformDevice.dieTemp=60, PMU.die_temp=47, PMU.temp_2001=20.01, PMU.temp_21=21, "
              "PMU.temp_99=99, PMU.temp_9999=99.99, PMU.temp_whole=35, Power Source Temp=30.5, "
              "TSKN.THERM=39.9, acpitz.Temperature=42");
    EXPECT_EQ(registry.unreleased, 0);
}

TEST(IoregMonitor, BatteryTemperatureComesFromTheFirstBatteryService) {
    struct Case {
        std::vector<std::optional<PropertyTable>> batteries;
        std::optional<double> battery;
    };
    const Case cases[] = {
        {{}, std::nullopt},
        {{std::nullopt}, std::nullopt},
        {{PropertyTable{{"Temperature", "hot"}}}, std::nullopt},
        {{PropertyTable{{"Temperature", 30.25}}}, std::nullopt},
        // Outside the scan's windows, but the battery read takes any integer.
        {{PropertyTable{{"Temperature", 1500}}, PropertyTable{{"Temperature", 3000}}}, 15.0},
    };
    for (const auto& c : cases) {
        FakeDeviceRegistry registry;
        registry.services["AppleSmartBattery"] = c.batteries;
        EXPECT_EQ(IoregMonitor::batteryTemperature(registry), c.battery);
        EXPECT_EQ(registry.unreleased, 0);
    }

    // The battery read and the scan each give their entry; a failed match gives none.
    FakeDeviceRegistry registry;
    registry.services["AppleSmartBattery"] = {PropertyTable{{"Temperature", 2950}}};
    EXPECT_EQ(IoregMonitor::read(registry),
              (TemperatureTable{{"Battery", 29.5}, {"Battery Temp", 29.5}}));
    registry.matchFails = true;
    EXPECT_TRUE(IoregMonitor::read(registry).empty());
}
