#include "fakes/FakeHidSystem.h"
#include "fakes/FakePlatform.h"
#include "fakes/Text.h"
#include "monitor/SystemMonitor.h"
#include "sensors/HIDMonitor.h"
#include "sensors/IoregMonitor.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <sstream>

using namespace orb;
using namespace orb::testing;
using platform::PropertyTable;
using platform::PropertyValue;
using Readings = std::map<std::string, double>;

TEST(SensorUpdate, MergesHidControllerAndRegistryThenPublishesOnTheNextTurn) {
    FakePlatform fake;
    auto hid = std::make_unique<FakeHidSystem>();
    hid->add("amdgpu junction", 50); // "GPU Die"
    hid->add("PMU tdie3", 64);       // "Die 3"
    fake.platform().hid = std::move(hid);
    FakeSmc& smc = fake.registry->addSmc();
    smc.enumeration = {"Tg0D", "TC0P"};
    smc.temperature("Tg0D", 48); // "GPU Die" too: HID wins
    smc.temperature("TC0P", 45); // "CPU Proximity"
    smc.fan("F0Ac", 1800);
    fake.registry->services["AppleEmbeddedTempSensor"] = {
        PropertyTable{{"name", "TSKN"}, {"Temperature", 4105}}};
    fake.thermal->level = platform::thermalSerious;
    std::ostringstream log;
    SystemMonitor monitor(fake.platform(), nullptr, log);
    EXPECT_TRUE(monitor.sensors().isEmpty()); // read at start, not yet published
    QCoreApplication::processEvents();

    const QVariantMap expected{
        {"GPU Die", 50.0}, {"Die 3", 64.0}, {"CPU Proximity", 45.0}, {"TSKN.Temperature", 41.05}};
    EXPECT_EQ(monitor.sensors(), expected);
    // The controller's processor and graphics keys come before the table's hottest entries.
    EXPECT_EQ(monitor.cpuTemperature(), 45);
    EXPECT_EQ(monitor.gpuTemperature(), 48);
    EXPECT_EQ(std::tuple(monitor.fanSpeeds(), monitor.fan0Speed(), monitor.fan1Speed()),
              std::tuple(SpeedList{1800}, 1800, 0));
    EXPECT_EQ(monitor.thermalState(), "Serious");

    // Without controller keys the hottest table entries stand in; an unknown state says so.
    smc.keys.clear();
    fake.thermal->level = 7;
    monitor.updateSensors();
    QCoreApplication::processEvents();
    EXPECT_EQ(monitor.cpuTemperature(), 64); // "Die 3" beats nothing else starting with CPU
    EXPECT_EQ(monitor.gpuTemperature(), 50);
    EXPECT_EQ(monitor.fanSpeeds(), SpeedList{});
    EXPECT_EQ(monitor.thermalState(), "Unknown");
}

TEST(HIDMonitor, ProductNamesBecomeLabelsByTheFirstRuleThatMatches) {
    // "product|label": as the Linux sensors name hwmon channels and thermal zones, then as the
    // controller's own event services name them (a die's number, or both units).
    for (const std::string c :
         {"amdgpu junction|GPU Die", "xe GPU vram|GPU Die", "GPU (gpu-thermal)|GPU Die",
          "CPU (cpu-thermal)|CPU (cpu-thermal)", "coretemp.0 Core 0|Coretemp.0 Core 0",
          "nvme0 Composite|Nvme0 Composite", "acpitz|Acpitz", "PMU tdie3|Die 3",
          "PMU tdie|CPU/GPU Die", "pACC MTR Temp Sensor2|CPU P-Cluster",
          "eACC MTR Temp Sensor0|CPU E-Cluster", "gas gauge battery|Battery", "NAND CH0 temp|SSD",
          "ANE MTR Temp Sensor1|Neural Engine", "ISP MTR Temp Sensor5|ISP"})
        EXPECT_EQ(HIDMonitor::classify(c.substr(0, c.find('|'))), c.substr(c.find('|') + 1));
}

TEST(HIDMonitor, ReadsPlausibleTemperaturesAndKeepsTheHottestOfALabel) {
    FakeHidSystem system;
    system.add("pACC MTR Temp Sensor1", 48.5);
    system.add("pACC MTR Temp Sensor2", 52.0);
    system.add("PACC MTR Temp Sensor3", 50.0);
    system.add("GPU MTR Temp Sensor1", 0.0); // out of range at both ends
    system.add("NAND CH0 temp", 150.0);      //
    system.add("gas gauge battery", 149.9);
    system.add(PropertyValue(42), 40.0);              // a product that is not text
    system.add(std::nullopt, 40.0);                   // no product
    system.add("ANE MTR Temp Sensor1", std::nullopt); // no event
    system.services.push_back(nullptr);
    system.add("PMU tdie4", 61.25);

    HIDMonitor monitor(&system);
    EXPECT_EQ(monitor.readTemperatures(),
              (Readings{{"CPU P-Cluster", 52.0}, {"Battery", 149.9}, {"Die 4", 61.25}}));
    EXPECT_EQ(system.matching, (PropertyTable{{"PrimaryUsagePage", 0xFF00}, {"PrimaryUsage", 5}}));

    // Every read lists the services again.
    system.services.clear();
    system.add("PMU tdie4", 63.0);
    EXPECT_EQ(monitor.readTemperatures(), (Readings{{"Die 4", 63.0}}));
}

TEST(HIDMonitor, MissingFunctionsOrAFailedClientGiveNoReadings) {
    const auto read = [](FakeHidSystem& system) {
        system.add("PMU tdie1", 50.0);
        return HIDMonitor(&system).readTemperatures();
    };
    for (std::string_view name : {hid_symbols::clientCreate, hid_symbols::clientCopyServices,
                                  hid_symbols::serviceCopyProperty, hid_symbols::serviceCopyEvent,
                                  hid_symbols::eventGetFloatValue}) {
        FakeHidSystem system;
        system.missing.insert(std::string(name));
        EXPECT_EQ(read(system), Readings()) << name;
    }
    FakeHidSystem failedClient, failedList, unmatched;
    failedClient.clientFails = true;
    failedList.listFails = true;
    EXPECT_EQ(read(failedClient), Readings());
    EXPECT_EQ(read(failedList), Readings());
    EXPECT_EQ(HIDMonitor(nullptr).readTemperatures(), Readings());

    // Matching is optional: without it every service is listed.
    unmatched.missing.insert(std::string(hid_symbols::clientSetMatching));
    EXPECT_EQ(read(unmatched), (Readings{{"Die 1", 50.0}}));
}

TEST(IoregMonitor, IntegerTemperaturesInsideTheWindowsEnterUnderTheirLabels) {
    FakeDeviceRegistry registry;
    // The battery is seen by its own class and as a power source.
    registry.services["AppleSmartBattery"] = {
        PropertyTable{{"Temperature", 3050}, {"VirtualTemperature", 3100}, {"Voltage", 12000}}};
    registry.services["IOPMPowerSource"] = {PropertyTable{{"Temperature", 3050}}};
    PropertyTable pmu{{"Product", "PMU"},       {"die_temp", 45},    {"temp_half", 35.5},
                      {"temp_whole", 35.0},     {"temp_text", "40"}, {"fan_speed", 50},
                      {"Sensor_negative", -30}, {"temp_count", 150}};
    // A table that cannot be read; a second PMU, whose die_temp wins as the later.
    registry.services["ApplePMGR"] = {std::nullopt, pmu,
                                      PropertyTable{{"Product", "PMU"}, {"die_temp", 47}}};
    // "name" before "Product"; neither: the class name.
    registry.services["AppleEmbeddedTempSensor"] = {
        PropertyTable{{"name", "acpitz"}, {"Product", "unused"}, {"Temperature", 4200}},
        PropertyTable{{"name", 7}, {"Product", "TSKN"}, {"THERM", 3990}}};
    registry.services["IOPlatformDevice"] = {PropertyTable{{"dieTemp", 60}}};
    registry.services["NotScanned"] = {PropertyTable{{"Temperature", 50}}};

    // The battery's temperature is one reading, shown once.
    EXPECT_EQ(text(IoregMonitor::read(registry)),
              "Battery=30.5, Battery Temp (Virtual)=31, IOPlatformDevice.dieTemp=60, "
              "PMU.die_temp=47, PMU.temp_whole=35, TSKN.THERM=39.9, acpitz.Temperature=42");
    EXPECT_EQ(registry.unreleased, 0);
    registry.matchFails = true;
    EXPECT_TRUE(IoregMonitor::read(registry).empty());
}

TEST(IoregMonitor, BatteryTemperatureComesFromTheFirstBatteryService) {
    const auto read = [](std::vector<std::optional<PropertyTable>> batteries) {
        FakeDeviceRegistry registry;
        registry.services["AppleSmartBattery"] = std::move(batteries);
        const auto celsius = IoregMonitor::batteryTemperature(registry);
        EXPECT_EQ(registry.unreleased, 0);
        return celsius;
    };
    EXPECT_EQ(read({}), std::nullopt);
    EXPECT_EQ(read({std::nullopt}), std::nullopt);
    EXPECT_EQ(read({PropertyTable{{"Temperature", "hot"}}}), std::nullopt);
    EXPECT_EQ(read({PropertyTable{{"Temperature", 30.25}}}), std::nullopt);
    // Outside the scan's windows, but the battery read takes any integer.
    EXPECT_EQ(read({PropertyTable{{"Temperature", 1500}}, PropertyTable{{"Temperature", 3000}}}),
              15.0);
}
