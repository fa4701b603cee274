// The whole engine over a machine whose files change under it between two ticks.
#include "fakes/ScratchRoot.h"
#include "monitor/SystemMonitor.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaProperty>
#include <QProcess>
#include <QThread>
#include <cctype>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sstream>
#include <sys/mount.h>
#include <unistd.h>

using namespace orb;
using orb::testing::fixtures;
using orb::testing::ScratchRoot;
namespace stdfs = std::filesystem;

namespace {

// A laptop: a ThinkPad's /proc and power supplies with the hwmon chips of another machine, in a
// scratch copy the test may change.
struct Machine {
    ScratchRoot root;
    std::unique_ptr<platform::Platform> platform;
    std::ostringstream diagnostics;
    std::optional<SystemMonitor> monitor;

    Machine() {
        root.copy(fixtures + "/prometheus-procfs");
        for (const char* dir : {"sys/class/hwmon", "sys/devices/platform"})
            stdfs::copy(fixtures + "/prometheus-node_exporter/" + dir, root.path() / dir,
                        stdfs::copy_options::recursive | stdfs::copy_options::copy_symlinks);
        platform = platform::makeSystemPlatform(root.str());
        monitor.emplace(*platform, nullptr, diagnostics);
    }

    // One tick and one process walk, both published.
    void tick() {
        // Readers of one tick share a pass over sysfs taken within 50 ms; ticks are 1 s apart.
        QThread::msleep(60);
        bool walked = false;
        const auto connection = QObject::connect(&*monitor, &SystemMonitor::processCountChanged,
                                                 [&] { walked = true; });
        monitor->sampleTick();
        // The tick may have queued a walk of its own behind one still under way from before the
        // change; the second of two walks asked for here started after it.
        for (int walk = 0; walk < 2; ++walk) {
            walked = false;
            monitor->scheduleProcessUpdate();
            for (QDeadlineTimer deadline(5000); !walked && !deadline.hasExpired();)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        QCoreApplication::processEvents(); // the sensors' queued publication
        QObject::disconnect(connection);
    }

    // Every published reading that stays put while the machine does, by name: not the
    // histories, which grow with each tick, nor the clock's uptime, nor the process lists,
    // whose records get new identifiers on every walk (their count stands in for them).
    QVariantMap readings() const {
        QVariantMap values;
        const QMetaObject& meta = SystemMonitor::staticMetaObject;
        for (int i = QObject::staticMetaObject.propertyCount(); i < meta.propertyCount(); ++i) {
            const QMetaProperty property = meta.property(i);
            const QMetaType type = property.metaType();
            if (type == QMetaType::fromType<History>() ||
                type == QMetaType::fromType<AppProcessList>() ||
                property.name() == QByteArrayLiteral("uptimeSeconds"))
                continue;
            values.insert(property.name(), property.read(&*monitor));
        }
        return values;
    }
};

QString shown(const QVariant& value) {
    const QVariant plain = value.metaType() == QMetaType::fromType<QList<int>>()
                               ? QVariant(value.value<QVariantList>())
                               : value;
    QJsonArray wrapped{QJsonValue::fromVariant(plain)};
    return QString::fromUtf8(QJsonDocument(wrapped).toJson(QJsonDocument::Compact))
        .mid(1)
        .chopped(1);
}

// The readings that differ, as "name: before -> after; ...".
std::string differences(const QVariantMap& before, const QVariantMap& after) {
    QStringList changed;
    for (auto it = before.begin(); it != before.end(); ++it)
        if (after.value(it.key()) != it.value())
            changed << it.key() + ": " + shown(it.value()) + " -> " + shown(after.value(it.key()));
    return changed.join("; ").toStdString();
}

} // namespace

// Each fault costs only the readings taken from that file: they keep their values or take their
// stated fallback, a sensor of a chip that went away leaves the table, and once the file is back
// every reading is as before, with no burst of traffic from counters that went missing a while.
// (A sysfs attribute is never read in part, so only /proc files are cut short.)
TEST(EngineFaults, AFileThatVanishesShrinksGrowsOrBecomesAFolderCostsOnlyItsOwnReadings) {
    enum Change { vanish, shrink, grow, folder };
    const QVariantMap noBattery{{"batteryCurrent", 0.0},   {"batteryDrawWatts", 0.0},
                                {"batteryWatts", 0.0},     {"netSystemWatts", 0.0},
                                {"totalSystemWatts", 0.0}, {"timeRemaining", "Calculating..."},
                                {"measured", {}}};
    const struct {
        const char* path;
        std::vector<Change> changes;
        QVariantMap fallbacks; // the readings that may take a fallback, and that fallback
        const char* sensorGone = nullptr;
    } rows[] = {
        {"proc/stat", {vanish, shrink, grow, folder}, {}},
        {"proc/meminfo", {vanish, grow, folder}, {}},
        {"proc/diskstats", {vanish, shrink, grow, folder}, {}},
        {"proc/net/dev", {vanish, grow, folder}, {}},
        // Counted where listed, whatever its files say.
        {"proc/26231/stat", {vanish, shrink, grow, folder}, {}},
        {"proc/26231/status", {vanish, shrink, grow, folder}, {}},
        {"proc/26231", {vanish}, {{"processCount", 5}}},
        // A battery that goes away leaves its last readings shown.
        {"sys/class/power_supply/BAT0", {vanish}, {}},
        {"sys/class/power_supply/BAT0/energy_now",
         {vanish, grow, folder},
         {{"batteryLevel", 0.98}, {"timeRemaining", "Calculating..."}}},
        {"sys/class/power_supply/BAT0/status", {vanish, grow, folder}, noBattery},
        // Without its word the adapter's 0 W input is no longer known.
        {"sys/class/power_supply/AC/online", {vanish, grow, folder}, {{"measured", {}}}},
        {"sys/class/hwmon/hwmon0", {vanish}, {{"sensors", {}}}, "Coretemp.0 Core 0"},
        {"sys/devices/platform/coretemp.0/hwmon/hwmon0/temp1_input",
         {vanish, grow, folder},
         // The hottest processor sensor left, the board's processor zone, stands in.
         {{"sensors", {}}, {"cpuTemperature", 49.925}},
         "CPU Die"},
    };
    const char* names[] = {"vanished", "cut short", "grown", "a folder"};
    Machine machine;
    const stdfs::path aside = machine.root.path() / "aside";
    machine.tick();
    machine.tick();
    const QVariantMap before = machine.readings();
    ASSERT_TRUE(before["sensors"].toMap().contains("Coretemp.0 Core 0"));
    ASSERT_GT(before["batteryDrawWatts"].toDouble(), 0);
    for (const auto& row : rows) {
        for (Change change : row.changes) {
            const std::string what = std::string(row.path) + " " + names[change];
            const stdfs::path path = machine.root.path() / row.path;
            stdfs::rename(path, aside);
            if (change == shrink || change == grow) {
                std::ifstream in(aside, std::ios::binary);
                const std::string content{std::istreambuf_iterator<char>(in), {}};
                std::ofstream(path, std::ios::binary)
                    << (change == shrink ? content.substr(0, content.size() / 2)
                                         : content + std::string(1 << 20, '7'));
            } else if (change == folder) {
                stdfs::create_directory(path);
            }
            machine.tick();
            const QVariantMap during = machine.readings();
            for (auto it = before.begin(); it != before.end(); ++it) {
                const QVariant value = during[it.key()];
                const auto fallback = row.fallbacks.find(it.key());
                const bool allowed =
                    value == it.value() || (fallback != row.fallbacks.end() &&
                                            (!fallback->isValid() || value == *fallback));
                EXPECT_TRUE(allowed)
                    << what << ": " << differences({{it.key(), it.value()}}, {{it.key(), value}});
            }
            // A grown attribute still starts with its reading, which is all that is read of it.
            if (row.sensorGone && change != grow) {
                EXPECT_FALSE(during["sensors"].toMap().contains(row.sensorGone)) << what;
            }

            stdfs::remove_all(path);
            stdfs::rename(aside, path);
            machine.tick();
            EXPECT_EQ(differences(before, machine.readings()), "") << what << " and back";
        }
    }
}

// As a user without privileges, under a /proc that hides other users' processes (hidepid=2)
// or lists them but refuses their files (hidepid=1), the probe runs; what it may list counts.
TEST(ProcessFaults, OtherUsersProcessesHiddenByProcMountOptionsAreCountedWhereListed) {
    int listedByRoot = 0;
    for (const auto& entry : stdfs::directory_iterator("/proc"))
        listedByRoot +=
            std::isdigit(static_cast<unsigned char>(entry.path().filename().c_str()[0]));
    for (const char* option : {"hidepid=2", "hidepid=1"}) {
        ScratchRoot tree({{"proc/.keep", ""}});
        stdfs::permissions(tree.path(), stdfs::perms::owner_all | stdfs::perms::group_read |
                                            stdfs::perms::group_exec | stdfs::perms::others_read |
                                            stdfs::perms::others_exec);
        const std::string proc = tree.str() + "/proc";
        QProcess probe;
        probe.setChildProcessModifier([&] {
            // Only system calls from here on: this process was forked from a threaded one.
            const uid_t nobody = 65534;
            if (::unshare(CLONE_NEWNS) != 0 ||
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("proc", proc.c_str(), "proc", 0, option) != 0)
                ::_exit(77);
            if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
                ::_exit(78);
        });
        probe.start(ORB_PROBE_PATH,
                    {"--once", "--json", "--root", QString::fromStdString(tree.str())});
        ASSERT_TRUE(probe.waitForFinished(15000)) << option;
        if (probe.exitCode() == 77)
            GTEST_SKIP() << "cannot mount /proc with " << option
                         << " in a mount namespace of its own here (needs CAP_SYS_ADMIN)";
        const QByteArray printed = probe.readAllStandardOutput();
        ASSERT_TRUE(probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0)
            << option << ": " << probe.exitCode();
        const QJsonObject sample = QJsonDocument::fromJson(printed).object();
        const int count = sample["processCount"].toInt(-1);
        // Only the probe itself is this user's, and it sees no more than that of the others.
        const QJsonArray top = sample["topMemoryProcesses"].toArray();
        ASSERT_EQ(top.size(), 1) << option << ": " << printed.toStdString();
        EXPECT_EQ(top[0]["name"].toString(), "orbimeter-probe");
        if (std::string_view(option) == "hidepid=2")
            EXPECT_EQ(count, 1) << printed.toStdString();
        else
            EXPECT_NEAR(count, listedByRoot, 20 + listedByRoot / 10) << "listed, though unreadable";
    }
}

// Asked to end while it walks the processes every 30 ms, the probe leaves as on a normal quit.
TEST(ProcessFaults, TerminationSignalsEndTheProbeCleanlyWithinASecond) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        QProcess probe;
        probe.start(ORB_PROBE_PATH, {"--watch", "--json", "--tick-interval-ms", "10"});
        ASSERT_TRUE(probe.waitForStarted(5000));
        ASSERT_TRUE(probe.waitForReadyRead(5000)) << "no first sample";
        QThread::msleep(200);
        QElapsedTimer elapsed;
        elapsed.start();
        ::kill(static_cast<pid_t>(probe.processId()), signal);
        ASSERT_TRUE(probe.waitForFinished(5000));
        EXPECT_LT(elapsed.elapsed(), 1000) << strsignal(signal);
        EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit) << strsignal(signal);
        EXPECT_EQ(probe.exitCode(), 0) << strsignal(signal);
    }
    // Under nohup the hang-up stays ignored.
    QProcess probe;
    probe.start("nohup", {ORB_PROBE_PATH, "--watch", "--tick-interval-ms", "10"});
    ASSERT_TRUE(probe.waitForStarted(5000));
    QThread::msleep(300);
    ::kill(static_cast<pid_t>(probe.processId()), SIGHUP);
    EXPECT_FALSE(probe.waitForFinished(300)) << "ended by SIGHUP under nohup";
    probe.terminate();
    EXPECT_TRUE(probe.waitForFinished(1000));
}
