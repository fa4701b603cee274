#include "fakes/ScratchRoot.h"
#include "platform/linux/LinuxPowerSources.h"
#include "platform/linux/LinuxSmartBattery.h"
#include "platform/linux/PowerSupplies.h"
#include "platform/linux/UPowerClient.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
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
        out << std::exchange(separator, ", ") << key << ": ";
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

// A battery's description; one with a time to full is charging.
Table description(std::int64_t current, std::int64_t max, std::string state,
                  std::int64_t minutesLeft, std::string health = "",
                  std::int64_t minutesToFull = 0) {
    Table table{{"Type", "InternalBattery"},
                {"Current Capacity", current},
                {"Max Capacity", max},
                {"Is Charging", minutesToFull > 0},
                {"Power Source State", state},
                {"Time to Empty", minutesLeft},
                {"Time to Full Charge", minutesToFull}};
    if (!health.empty())
        table.set("BatteryHealth", health);
    return table;
}

bool waitUntil(const std::function<bool()>& done) {
    for (QDeadlineTimer deadline(5000); !done(); QCoreApplication::processEvents())
        if (deadline.hasExpired())
            return false;
    return true;
}

// A private bus with python3-dbusmock's UPower template on it, both stopped at the end. The
// template is meant for the system bus, so the mock is told that this bus is the system bus.
struct MockUPower {
    static inline const QString service = "org.freedesktop.UPower";
    QProcess busDaemon, daemon;
    QString address;
    QDBusConnection bus{QString()};

    static QString missingTool() {
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
            return "dbus-daemon is not installed";
        // Debian's python3 has the module; another python3 earlier on PATH may not.
        if (QProcess::execute("/usr/bin/python3", {"-c", "import dbusmock"}) != 0)
            return "python3-dbusmock is not installed";
        return {};
    }
    MockUPower() {
        busDaemon.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        busDaemon.waitForReadyRead(5000);
        address = QString::fromUtf8(busDaemon.readLine()).trimmed();
        bus = QDBusConnection::connectToBus(address, "mock-upower");
    }
    ~MockUPower() {
        QDBusConnection::disconnectFromBus("mock-upower");
        for (QProcess* process : {&daemon, &busDaemon})
            process->kill(), process->waitForFinished();
    }

    // Starts the daemon, or with `stop` ends it.
    bool runDaemon(bool stop = false) {
        daemon.kill();
        daemon.waitForFinished();
        if (stop)
            return true;
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DBUS_SYSTEM_BUS_ADDRESS", address);
        daemon.setProcessEnvironment(environment);
        daemon.setStandardOutputFile(QProcess::nullDevice());
        daemon.start("/usr/bin/python3", {"-m", "dbusmock", "--template", "upower"});
        return waitUntil([&] { return bus.interface()->isServiceRegistered(service); });
    }

    // The display device as a present battery, and the daemon's OnBattery.
    void set(unsigned state, double percentage, qint64 toEmpty, qint64 toFull, bool onBattery) {
        call("org.freedesktop.DBus.Mock", "SetupDisplayDevice",
             {2u, state, percentage, 0.0, 0.0, 0.0, toEmpty, toFull, true, QString(), 1u});
        call("org.freedesktop.DBus.Properties", "Set",
             {service, "OnBattery", QVariant::fromValue(QDBusVariant(onBattery))});
    }
    void call(const QString& interface, const QString& method, const QVariantList& arguments) {
        auto message =
            QDBusMessage::createMethodCall(service, "/org/freedesktop/UPower", interface, method);
        message.setArguments(arguments);
        const auto reply = bus.call(message);
        ASSERT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
    }
};

} // namespace

TEST(PowerSupplies, CapturedMachinesGiveTheFiguresTheirUsersSee) {
    const std::tuple<std::string, std::optional<Table>, std::string> cases[] = {
        // ThinkPad: the gauge's own 98 % (its energies give 98.8 %); its uevent says 85 %, the
        // files win.
        {"prometheus-procfs", description(98, 100, "Battery Power", 614),
         "{Amperage: -395, AppleRawMaxCapacity: 4635, BatteryData: {AdapterPower: 0.0, "
         "SystemPower: 4.83}, CycleCount: 0, DesignCapacity: 4400, ExternalConnected: false, "
         "Voltage: 12229}"},
        // Negative current_now while discharging; no power_now, so the time comes from charge.
        // The desktop shows the gauge's 76 %, not the 73.2 % of its energies.
        {"lkml-transcribed/sbs-battery-imx6-2020",
         description(76, 100, "Battery Power", 6748, "Good"),
         "{Amperage: -26, AppleRawMaxCapacity: 3898, BatteryData: {SystemPower: 0.297466}, "
         "CycleCount: 12, DesignCapacity: 3800, Temperature: 1980, Voltage: 11441}"},
        // Two packs with only capacity and status (Full + Error; Unknown + Discharging) and no
        // adapter supply; not discharging, so what the system draws is not known.
        {"sysstat/root2", description(183, 200, "AC Power", -1), "{Amperage: 0}"},
        {"sysstat/root3", description(150, 200, "Battery Power", -1), "{}"},
        {"lkml-transcribed/logitech-m705-hidpp-2021", std::nullopt, "none"},
    };
    for (const auto& [root, description, battery] : cases) {
        SCOPED_TRACE(root);
        const auto supplies = readPowerSupplies(fixtures + "/" + root);
        ASSERT_FALSE(supplies.empty());
        EXPECT_EQ(text(batteryDescription(supplies)), text(description));
        EXPECT_EQ(text(smartBatteryProperties(supplies)), battery);
    }
    // The class entries are followed into the device tree, whose links lead back to the class.
    EXPECT_EQ(readPowerSupplies(fixtures + "/prometheus-procfs").back().devicePath,
              "/devices/LNXSYSTM:00/LNXSYBUS:00/PNP0A08:00/device:00/PNP0C09:00/PNP0C0A:00/"
              "power_supply/BAT0");
}

TEST(PowerSupplies, AnAdapterGivesItsContractAndOnlyAMeasuredInputCountsAsInput) {
    PowerSupply pack;
    pack.type = "Battery";
    pack.status = "Full";
    ScratchRoot measuring; // a charger whose driver measures what it delivers
    measuring.writeWords(classDir + "ACAD", "type=USB online=1 power_now=27500000");
    for (const auto& [root, expected] : {
             // A USB-C laptop on AC with its battery full: 20 V at 3.25 A is the charger's
             // contract, a rating, so the input power stays unknown. This firmware gives
             // voltage_max (13.4 V) below voltage_now (20 V): never read.
             std::pair{fixtures + "/lkml-transcribed/chromebook-ucsi-pps-2025-before-fix",
                       "{AdapterDetails: {AdapterVoltage: 20000, Current: 3250, Watts: 65}, "
                       "Amperage: 0, ExternalConnected: true}"},
             // Unplugged, nothing flows.
             {fixtures + "/lkml-transcribed/dell-xps13-ucsi-2023",
              "{Amperage: 0, BatteryData: {AdapterPower: 0.0}, ExternalConnected: false}"},
             {measuring.str(), "{AdapterDetails: {}, Amperage: 0, BatteryData: {AdapterPower: "
                               "27.5}, ExternalConnected: true}"},
         }) {
        SCOPED_TRACE(root);
        auto supplies = readPowerSupplies(root);
        supplies.push_back(pack);
        EXPECT_EQ(text(smartBatteryProperties(supplies)), expected);
        EXPECT_EQ(*batteryDescription(supplies)->find("Power Source State")->string(),
                  std::string(expected).find("true") != std::string::npos ? "AC Power"
                                                                          : "Battery Power");
    }
}

TEST(PowerSupplies, TimesAndCurrentFollowTheStatus) {
    const struct {
        std::string attributes;
        std::int64_t toEmpty, toFull, amperage;
    } cases[] = {
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
                    "voltage_now=12000000 voltage_min_design=11000000 cycle_count=100 temp=250 "
                    "capacity=70");
    // The idle pack holds more than its full mark. The gauges' own levels count, each weighted
    // by what its pack holds when full: 70 % of 40 Wh and 100 % of 19 Wh (the energies would
    // give 49 of 59 Wh).
    root.writeWords(classDir + "BAT1",
                    "type=Battery status=Unknown energy_now=20000000 energy_full=19000000 "
                    "energy_full_design=20000000 power_now=0 voltage_now=11500000 "
                    "voltage_min_design=11000000 capacity=100");
    root.writeWords(classDir + "BAT2", "type=Battery present=0"); // an empty slot
    root.writeWords(
        classDir + "hid-mouse",
        "type=Battery scope=Device status=Discharging energy_now=1000000 energy_full=1000000");
    root.writeWords(classDir + "AC", "type=Mains online=0");
    root.link("sys/class/power_supply/BAT9", "../../devices/gone"); // never captured
    const auto supplies = readPowerSupplies(root.str());
    ASSERT_EQ(supplies.size(), 5u);
    EXPECT_EQ(text(batteryDescription(supplies)),
              text(description(47000, 59000, "Battery Power", 300, "Good")));
    const std::string battery =
        "{Amperage: -833, AppleRawMaxCapacity: 5364, BatteryData: {AdapterPower: 0.0, "
        "SystemPower: 10.0}, CycleCount: 100, DesignCapacity: 6364, ExternalConnected: false, "
        "Temperature: 2500, Voltage: 12000}";
    EXPECT_EQ(text(smartBatteryProperties(supplies)), battery);
    PropertyTable fromUPower{{"Type", "InternalBattery"}}; // which has no health of its own
    addBatteryHealth(fromUPower, supplies);
    EXPECT_EQ(text(fromUPower), R"({BatteryHealth: "Good", Type: "InternalBattery"})");

    // One service, named by the first pack, for the packs together.
    auto services = LinuxSmartBattery(std::make_shared<PowerSupplyReader>(root.str())).services();
    ASSERT_EQ(services.size(), 1u);
    EXPECT_EQ(services[0]->entryId(), registryEntryId("/class/power_supply/BAT0"));
    EXPECT_EQ(text(services[0]->properties()), battery);
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
    EXPECT_EQ(text(smartBatteryProperties(supplies)), "{}");

    PowerSupplyReader sharing(root.str(), std::chrono::hours(1));
    PowerSupplyReader fresh(root.str(), std::chrono::milliseconds(0));
    sharing.supplies(), fresh.supplies();
    root.write("sys/class/power_supply/BAT0/status", "Full\n");
    EXPECT_EQ(sharing.supplies()[0].status, "Charging");
    EXPECT_EQ(fresh.supplies()[0].status, "Full");
    // A captured tree is never watched for changes.
    EXPECT_EQ(LinuxPowerSources(root.str(), true).notifyChanges([] {}), nullptr);
}

TEST(LinuxPowerSources, FollowUPowerAndFallBackWhileItIsAway) {
    if (const auto missing = MockUPower::missingTool(); !missing.isEmpty())
        GTEST_SKIP() << missing.toStdString();
    MockUPower mock;
    ASSERT_TRUE(mock.bus.isConnected()) << "no private bus";
    ASSERT_TRUE(mock.runDaemon()) << "the UPower mock never came on the bus";

    // sysfs below an empty root has no battery, so a description can only come from UPower.
    ScratchRoot root;
    auto upowerOwned = std::make_unique<UPowerClient>(mock.bus);
    auto& upower = *upowerOwned;
    LinuxPowerSources sources(std::make_shared<PowerSupplyReader>(root.str()),
                              std::move(upowerOwned));
    int notifications = 0;
    bool offMainThread = false;
    auto registration = sources.notifyChanges([&] {
        ++notifications;
        offMainThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
    });
    ASSERT_NE(registration, nullptr);
    // Waits for UPower to come or go, or for `expected`, and for a notification of it.
    auto announced = [&](const std::function<bool()>& done) {
        const int before = notifications;
        return waitUntil([&] { return done() && notifications > before; });
    };
    auto described = [&](const std::vector<PropertyValue>& expected) {
        return [&, expected] { return sources.descriptions() == expected; };
    };

    // The mock starts as a machine without a battery: UPower answers, with no source.
    EXPECT_TRUE(waitUntil([&] { return upower.available() && notifications > 0; }));
    EXPECT_EQ(sources.descriptions(), std::vector<PropertyValue>());
    const struct {
        unsigned state; // 1 charging, 2 discharging
        double percentage;
        qint64 toEmpty, toFull; // seconds
        bool onBattery;
        PropertyTable expected;
    } steps[] = {
        {2, 42.57, 7500, 0, true, description(4257, 10000, "Battery Power", 125)},
        {2, 42.0, 0, 0, true, description(4200, 10000, "Battery Power", 0)}, // estimating
        {1, 55.5, 0, 5400, false, description(5550, 10000, "AC Power", 0, "", 90)},
    };
    for (const auto& step : steps) {
        mock.set(step.state, step.percentage, step.toEmpty, step.toFull, step.onBattery);
        EXPECT_TRUE(announced(described({step.expected}))) << step.percentage << " %";
    }

    // The daemon going away hands over to sysfs; a new daemon is read afresh, not taken for
    // the old one, and its signals are followed.
    mock.runDaemon(true);
    EXPECT_TRUE(announced([&] { return !upower.available() && described({})(); }));
    ASSERT_TRUE(mock.runDaemon());
    EXPECT_TRUE(announced([&] { return upower.available() && described({})(); }));
    mock.set(2, 42.57, 7500, 0, true);
    EXPECT_TRUE(waitUntil(described({steps[0].expected})));
    EXPECT_FALSE(offMainThread);
}
