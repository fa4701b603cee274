#include "fakes/FakeHidSystem.h"
#include "fakes/FakePlatform.h"
#include "monitor/SystemMonitor.h"
#include "platform/SmcKeyData.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <sstream>

using namespace orb;
using namespace orb::testing;

namespace {

struct Machine {
    FakePlatform fake;
    FakeHidSystem* hid;
    std::shared_ptr<FakeSmc> smc = std::make_shared<FakeSmc>();
    std::ostringstream log;
    std::unique_ptr<SystemMonitor> monitor;

    Machine() {
        auto system = std::make_unique<FakeHidSystem>();
        hid = system.get();
        fake.platform().hid = std::move(system);
        fake.registry->services["AppleSMC"] = {platform::PropertyTable{}};
        fake.registry->smc = smc;
    }
    void key(const std::string& name, double celsius) {
        const auto bytes = platform::smc::encodeSp78(celsius);
        smc->keys[name] = {"sp78", {bytes[0], bytes[1]}};
        smc->enumeration.push_back(name);
    }
    void fan(const std::string& name, double rpm) {
        const auto bytes = platform::smc::encodeFpe2(rpm);
        smc->keys[name] = {"fpe2", {bytes[0], bytes[1]}};
    }
    SystemMonitor& start() {
        monitor = std::make_unique<SystemMonitor>(fake.platform(), nullptr, log);
        return *monitor;
    }
};

} // namespace

TEST(SensorUpdate, MergesHidControllerAndRegistryThenPublishesOnTheNextTurn) {
    Machine m;
    m.hid->add(platform::PropertyValue("amdgpu junction"), 50); // "GPU Die"
    m.hid->add(platform::PropertyValue("PMU tdie3"), 64);       // "Die 3"
    m.key("Tg0D", 48);                                          // "GPU Die" too: HID wins
    m.key("TC0P", 45);                                          // "CPU Proximity"
    m.fan("F0Ac", 1800);
    m.fake.registry->services["AppleEmbeddedTempSensor"] = {
        platform::PropertyTable{{"name", "TSKN"}, {"Temperature", 4105}}};
    m.fake.thermal->level = platform::thermalSerious;
    auto& monitor = m.start();
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
    m.smc->keys.clear();
    m.fake.thermal->level = 7;
    monitor.updateSensors();
    QCoreApplication::processEvents();
    EXPECT_EQ(monitor.cpuTemperature(), 64); // "Die 3" beats nothing else starting with CPU
    EXPECT_EQ(monitor.gpuTemperature(), 50);
    EXPECT_EQ(monitor.fanSpeeds(), SpeedList{});
    EXPECT_EQ(monitor.thermalState(), "Unknown");
}
