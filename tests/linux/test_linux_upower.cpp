#include "fakes/ScratchRoot.h"
#include "platform/linux/LinuxPowerSources.h"
#include "platform/linux/UPowerClient.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>

using namespace orb::platform;

namespace {

bool waitUntil(const std::function<bool()>& done) {
    for (QDeadlineTimer deadline(5000); !done();) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// A private bus with python3-dbusmock's UPower template on it, both stopped at the end. The
// template is meant for the system bus, so the mock is told that this bus is the system bus.
class MockUPower {
public:
    static QString missingTool() {
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
            return "dbus-daemon is not installed";
        // Debian's python3 has the module; another python3 earlier on PATH may not.
        if (QProcess::execute("/usr/bin/python3", {"-c", "import dbusmock"}) != 0)
            return "python3-dbusmock is not installed";
        return {};
    }

    MockUPower() {
        busDaemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        busDaemon_.waitForReadyRead(5000);
        address_ = QString::fromUtf8(busDaemon_.readLine()).trimmed();
        bus_ = QDBusConnection::connectToBus(address_, "mock-upower");
    }
    ~MockUPower() {
        QDBusConnection::disconnectFromBus("mock-upower");
        stopDaemon();
        busDaemon_.kill();
        busDaemon_.waitForFinished();
    }
    QDBusConnection bus() const { return bus_; }

    bool startDaemon() {
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DBUS_SYSTEM_BUS_ADDRESS", address_);
        daemon_.setProcessEnvironment(environment);
        daemon_.setStandardOutputFile(QProcess::nullDevice());
        daemon_.start("/usr/bin/python3", {"-m", "dbusmock", "--template", "upower"});
        return waitUntil([&] { return bus_.interface()->isServiceRegistered(service); });
    }
    void stopDaemon() {
        daemon_.kill();
        daemon_.waitForFinished();
    }

    // The display device as a present battery, and the daemon's OnBattery.
    void set(unsigned state, double percentage, qint64 toEmpty, qint64 toFull, bool onBattery) {
        call("org.freedesktop.DBus.Mock", "SetupDisplayDevice",
             {2u, state, percentage, 0.0, 0.0, 0.0, toEmpty, toFull, true, QString(), 1u});
        call("org.freedesktop.DBus.Properties", "Set",
             {service, "OnBattery", QVariant::fromValue(QDBusVariant(onBattery))});
    }

private:
    static inline const QString service = "org.freedesktop.UPower";

    void call(const QString& interface, const QString& method, const QVariantList& arguments) {
        auto message =
            QDBusMessage::createMethodCall(service, "/org/freedesktop/UPower", interface, method);
        message.setArguments(arguments);
        const auto reply = bus_.call(message);
        ASSERT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
    }

    QProcess busDaemon_, daemon_;
    QString address_;
    QDBusConnection bus_{QString()};
};

PropertyTable battery(std::int64_t level, bool charging, const char* state, std::int64_t toEmpty,
                      std::int64_t toFull) {
    return {{"Type", "InternalBattery"},    {"Current Capacity", level},
            {"Max Capacity", 10000},        {"Is Charging", charging},
            {"Power Source State", state},  {"Time to Empty", toEmpty},
            {"Time to Full Charge", toFull}};
}

} // namespace

TEST(LinuxPowerSources, AFixtureRootIsNeverWatched) {
    orb::testing::ScratchRoot root;
    LinuxPowerSources sources(root.str(), true);
    EXPECT_EQ(sources.notifyChanges([] {}), nullptr);
}

TEST(LinuxPowerSources, FollowUPowerAndFallBackWhileItIsAway) {
    if (const auto missing = MockUPower::missingTool(); !missing.isEmpty())
        GTEST_SKIP() << missing.toStdString();
    MockUPower mock;
    ASSERT_TRUE(mock.bus().isConnected()) << "no private bus";
    ASSERT_TRUE(mock.startDaemon()) << "the UPower mock never came on the bus";

    // sysfs below an empty root has no battery, so a description can only come from UPower.
    orb::testing::ScratchRoot root;
    auto upowerOwned = std::make_unique<UPowerClient>(mock.bus());
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
    const auto noSource = std::vector<PropertyValue>();

    // The mock starts as a machine without a battery: UPower answers, with no source.
    ASSERT_TRUE(waitUntil([&] { return upower.available(); }));
    EXPECT_EQ(sources.descriptions(), noSource);
    EXPECT_GT(notifications, 0) << "becoming available was not announced";

    struct Step {
        unsigned state; // 1 charging, 2 discharging
        double percentage;
        qint64 toEmpty, toFull; // seconds
        bool onBattery;
        PropertyTable expected;
    };
    const Step steps[] = {
        {2, 42.57, 7500, 0, true, battery(4257, false, "Battery Power", 125, 0)},
        {2, 42.0, 0, 0, true, battery(4200, false, "Battery Power", 0, 0)}, // estimating
        {1, 55.5, 0, 5400, false, battery(5550, true, "AC Power", 0, 90)},
    };
    for (const auto& step : steps) {
        const int before = notifications;
        mock.set(step.state, step.percentage, step.toEmpty, step.toFull, step.onBattery);
        const auto expected = std::vector<PropertyValue>{step.expected};
        EXPECT_TRUE(waitUntil([&] { return sources.descriptions() == expected; }))
            << "state " << step.state << " at " << step.percentage << " %";
        EXPECT_GT(notifications, before);
    }

    // The daemon going away hands over to sysfs; a new daemon is read afresh, not taken for
    // the old one, and its signals are followed.
    int before = notifications;
    mock.stopDaemon();
    EXPECT_TRUE(waitUntil([&] { return !upower.available(); }));
    EXPECT_EQ(sources.descriptions(), noSource);
    EXPECT_GT(notifications, before);
    before = notifications;
    ASSERT_TRUE(mock.startDaemon());
    EXPECT_TRUE(waitUntil([&] { return upower.available(); }));
    EXPECT_EQ(sources.descriptions(), noSource);
    EXPECT_GT(notifications, before);
    mock.set(2, 42.57, 7500, 0, true);
    const auto discharging = std::vector<PropertyValue>{steps[0].expected};
    EXPECT_TRUE(waitUntil([&] { return sources.descriptions() == discharging; }));

    EXPECT_FALSE(offMainThread);
}
