#include "fakes/FakePlatform.h"
#include "monitor/SystemMonitor.h"
#include "platform/SmartBattery.h"

#include <bit>
#include <gtest/gtest.h>

using namespace orb;
using namespace orb::testing;
using platform::PropertyTable;
using platform::PropertyValue;

namespace {

const std::string batteryClass(platform::smart_battery::serviceClass);

PropertyValue internalBattery(PropertyTable keys) {
    keys.set("Type", "InternalBattery");
    return keys;
}

} // namespace

TEST(PowerSources, TheFirstInternalBatterySetsLevelStateAndTimes) {
    FakePlatform fake;
    SystemMonitor monitor(fake.platform());
    // Without a battery nothing is published.
    monitor.updatePowerSources();
    EXPECT_EQ(monitor.batteryWattsHistory(), History(60, 0.0));
    EXPECT_EQ(monitor.adapterWattsHistory(), History(60, 0.0));
    auto read = [&](std::vector<PropertyValue> sources) {
        fake.power->sources = std::move(sources);
        monitor.updatePowerSources();
        return std::tuple(monitor.batteryLevel(), monitor.isCharging(),
                          monitor.batteryACConnected(), monitor.timeRemaining(),
                          monitor.batteryTimeToFull(), monitor.batteryHealthCondition());
    };
    using Seen = std::tuple<double, bool, bool, QString, QString, QString>;

    // Another type is skipped for the first internal battery.
    const PropertyTable onBattery{{"Current Capacity", 80}, {"Max Capacity", 100},
                                  {"Is Charging", false},   {"Power Source State", "Battery Power"},
                                  {"Time to Empty", 125},   {"Time to Full Charge", 0},
                                  {"BatteryHealth", "Good"}};
    EXPECT_EQ(read({PropertyTable{{"Type", "UPS"}}, internalBattery(onBattery),
                    internalBattery({{"Current Capacity", 10}, {"Max Capacity", 100}})}),
              Seen(0.8, false, false, "2:05 Remaining", "", "Good"));
    // No estimate yet: the text says why; a level over a maximum of 0 stays as it was.
    const PropertyTable onAdapter{{"Current Capacity", 50}, {"Max Capacity", 0},
                                  {"Is Charging", true},    {"Power Source State", "AC Power"},
                                  {"Time to Empty", 0},     {"Time to Full Charge", 90}};
    EXPECT_EQ(read({internalBattery(onAdapter)}),
              Seen(0.8, true, true, "Charging", "1:30 to full", "Good"));
    EXPECT_EQ(std::get<3>(read({internalBattery({{"Is Charging", false}, {"Time to Empty", -1}})})),
              "Calculating...");
    // Without a charging flag the published one decides; without a time the text stays.
    read({internalBattery({{"Is Charging", true}})});
    EXPECT_EQ(std::get<3>(read({internalBattery({{"Time to Empty", 0}})})), "Charging");
    EXPECT_EQ(read({internalBattery({{"Time to Full Charge", "soon"}})}),
              Seen(0.8, true, true, "Charging", "", "Good"));
    // No battery at all, and no snapshot: everything stays. A change notification reads again.
    EXPECT_EQ(read({}), Seen(0.8, true, true, "Charging", "", "Good"));
    fake.power->sources.reset();
    monitor.updatePowerSources();
    EXPECT_EQ(monitor.batteryLevel(), 0.8);
    fake.power->sources = {internalBattery({{"Current Capacity", 3}, {"Max Capacity", 4}})};
    ASSERT_TRUE(fake.power->onChange);
    fake.power->onChange();
    EXPECT_EQ(monitor.batteryLevel(), 0.75);
}

TEST(BatteryDetails, DrawChargeAdapterAndHealthFromTheBatteryServiceReadAgainOnItsMessages) {
    FakePlatform fake;
    auto& battery = fake.registry->services[batteryClass];
    battery = {PropertyTable{{"Voltage", 12000}, {"Amperage", -1500}}};
    SystemMonitor monitor(fake.platform()); // reads once at start
    auto watts = [&] {
        return std::tuple(monitor.batteryCurrent(), monitor.batteryDrawWatts(),
                          monitor.batteryChargeWatts(), monitor.batteryWatts(),
                          monitor.batteryWattsHistory().last());
    };
    using Watts = std::tuple<double, double, double, double, double>;
    using SM = SystemMonitor;
    EXPECT_EQ(watts(), Watts(-1500, 18, 0, 18, -18));
    EXPECT_EQ(monitor.totalSystemWatts(), 18); // no system power of its own: the draw
    EXPECT_TRUE(monitor.isMeasured(&SM::totalSystemWattsChanged));
    battery[0] = PropertyTable{{"Voltage", 12500}, {"Amperage", 2000}};
    monitor.updateBatteryDetails();
    EXPECT_EQ(watts(), Watts(2000, 0, 25, 25, 25));
    // Charging, the battery says nothing of what the system takes.
    EXPECT_FALSE(monitor.isMeasured(&SM::totalSystemWattsChanged));
    battery[0] = PropertyTable{{"Amperage", std::bit_cast<std::uint64_t>(std::int64_t{-500})}};
    monitor.updateBatteryDetails();
    EXPECT_EQ(watts(), Watts(-500, 6.25, 0, 6.25, -6.25)); // at the last voltage read

    // The adapter: its contract (20 V, 3 A) is a rating, not what it delivers, so neither its
    // input nor what the system takes beyond charging is known until the input is measured.
    const PropertyTable adapter{{"AdapterVoltage", 20000}, {"Current", 3000}};
    const PropertyTable system{{"SystemPower", 40.0}};
    const PropertyTable plugged{
        {"Voltage", 12500},          {"Amperage", 2000},      {"ExternalConnected", true},
        {"AdapterDetails", adapter}, {"BatteryData", system}, {"AppleRawMaxCapacity", 4500},
        {"DesignCapacity", 5000},    {"CycleCount", 321},     {"Temperature", 3050}};
    battery[0] = plugged;
    monitor.updateBatteryDetails();
    EXPECT_EQ(
        std::tuple(monitor.adapterVoltage(), monitor.adapterCurrent(), monitor.totalSystemWatts()),
        std::tuple(20.0, 3000, 40.0));
    EXPECT_FALSE(monitor.isMeasured(&SM::acInputWattsChanged));
    EXPECT_FALSE(monitor.isMeasured(&SM::netSystemWattsChanged));
    EXPECT_TRUE(monitor.isMeasured(&SM::totalSystemWattsChanged));
    EXPECT_EQ(std::tuple(monitor.batteryMaxCapacity(), monitor.batteryHealthPercent(),
                         monitor.batteryCycleCount(), monitor.batteryTemperature()),
              std::tuple(4500, 0.9, 321, 30.5));
    battery[0]->set("BatteryData", PropertyTable{{"AdapterPower", 60.0}});
    monitor.updateBatteryDetails();
    EXPECT_EQ(std::tuple(monitor.acInputWatts(), monitor.netSystemWatts(),
                         monitor.adapterWattsHistory().last()),
              std::tuple(60.0, 35.0, 60.0));
    EXPECT_TRUE(monitor.isMeasured(&SM::netSystemWattsChanged));
    battery[0]->set("BatteryData", PropertyTable{{"AdapterPower", 30.0f}});
    battery[0]->set("Amperage", 2800); // 35 W into the battery, more than the adapter gives
    monitor.updateBatteryDetails();
    EXPECT_EQ(monitor.netSystemWatts(), 0);
    // Unplugged: no adapter details; the history keeps 60 entries, the oldest dropped.
    battery[0] = PropertyTable{{"ExternalConnected", false}};
    for (int i = 0; i < 61; ++i)
        monitor.updateBatteryDetails();
    EXPECT_EQ(
        std::tuple(monitor.adapterWatts(), monitor.adapterVoltage(), monitor.adapterCurrent()),
        std::tuple(0, 0.0, 0));
    EXPECT_EQ(monitor.adapterWattsHistory(), History(60, 30.0));

    // The battery service's messages read it again, but not within a quarter second.
    const auto service = FakeDeviceRegistry::identityOf(batteryClass, 0);
    auto messageAt = [&](double seconds, int voltage) {
        fake.clock->advance(seconds);
        battery[0] = PropertyTable{{"Voltage", voltage}};
        EXPECT_EQ(fake.registry->deliver(service, platform::serviceStateChanged), 1);
        return monitor.batteryVoltage();
    };
    EXPECT_EQ(messageAt(0, 12000), 12); // the first always passes
    EXPECT_EQ(messageAt(0.1, 13000), 12);
    EXPECT_EQ(messageAt(0.2, 14000), 14); // 0.3 s after the first read
}
