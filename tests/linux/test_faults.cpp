// The engine and the probe on a machine that fails or misleads them: files that change under it
// between two ticks, processes hidden by /proc's mount options, termination signals, links that
// lead out of a captured tree and a library planted in the working directory.
#include "fakes/ScratchRoot.h"
#include "monitor/SystemMonitor.h"
#include "platform/Platform.h"
#include "platform/linux/Hwmon.h"
#include "platform/linux/NvidiaAccelerators.h"
#include "platform/linux/Nvml.h"
#include "platform/linux/SysFs.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
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
namespace fs = orb::platform::linux_fs;

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

// The readings that differ, as "name: before -> after; ...".
std::string differences(const QVariantMap& before, const QVariantMap& after) {
    QString changed;
    QDebug out(&changed);
    for (auto it = before.begin(); it != before.end(); ++it)
        if (after.value(it.key()) != it.value())
            out.nospace() << it.key() << ": " << it.value() << " -> " << after.value(it.key())
                          << "; ";
    return changed.toStdString();
}

// Every file mapped into this process that lies in `directory`.
QStringList mappedFrom(const QString& directory) {
    const auto maps = fs::readFile("/proc/self/maps").value_or("");
    return QString::fromStdString(maps).split('\n').filter(directory + '/');
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
        // The other /proc tables share its file handling, each with a parser of its own.
        {"proc/meminfo", {vanish}, {}},
        {"proc/diskstats", {vanish, shrink}, {}},
        {"proc/net/dev", {vanish, grow}, {}},
        // Counted where listed, whatever its files say.
        {"proc/26231/stat", {vanish, shrink}, {}},
        {"proc/26231", {vanish}, {{"processCount", 5}}},
        // A battery that goes away leaves its last readings shown.
        {"sys/class/power_supply/BAT0", {vanish}, {}},
        {"sys/class/power_supply/BAT0/energy_now",
         {vanish},
         {{"batteryLevel", 0.98}, {"timeRemaining", "Calculating..."}}},
        {"sys/class/power_supply/BAT0/status", {vanish}, noBattery},
        // Without its word the adapter's 0 W input is no longer known.
        {"sys/class/power_supply/AC/online", {vanish}, {{"measured", {}}}},
        {"sys/class/hwmon/hwmon0", {vanish}, {{"sensors", {}}}, "Coretemp.0 Core 0"},
        // Attributes share their file handling too.
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
                const std::string content = fs::readFile(aside).value_or("");
                std::ofstream(path) << (change == shrink ? content.substr(0, content.size() / 2)
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
        stdfs::permissions(tree.path(), stdfs::perms(0755));
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

// Asked to end while it walks the processes every 30 ms, the probe leaves as on a normal quit;
// under nohup the hang-up stays ignored, and only the termination that follows ends it.
TEST(ProcessFaults, TerminationSignalsEndTheProbeCleanlyWithinASecond) {
    const QStringList watch{ORB_PROBE_PATH, "--watch", "--json", "--tick-interval-ms", "10"};
    for (const auto& [signal, underNohup] :
         {std::pair(SIGTERM, false), {SIGINT, false}, {SIGHUP, false}, {SIGHUP, true}}) {
        SCOPED_TRACE(std::string(strsignal(signal)) + (underNohup ? " under nohup" : ""));
        QProcess probe;
        probe.start(underNohup ? "nohup" : ORB_PROBE_PATH, underNohup ? watch : watch.mid(1));
        ASSERT_TRUE(probe.waitForStarted(5000));
        ASSERT_TRUE(probe.waitForReadyRead(5000)) << "no first sample";
        QThread::msleep(200);
        QElapsedTimer elapsed;
        elapsed.start();
        ::kill(static_cast<pid_t>(probe.processId()), signal);
        if (underNohup) {
            EXPECT_FALSE(probe.waitForFinished(300)) << "ended by SIGHUP under nohup";
            probe.terminate();
            elapsed.start();
        }
        ASSERT_TRUE(probe.waitForFinished(5000));
        EXPECT_LT(elapsed.elapsed(), 1000);
        EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(probe.exitCode(), 0);
    }
}

// A tree given with --root is read as if it were "/": its links are followed the way the kernel
// follows sysfs's own, so none reaches a file outside it, however it is written.
TEST(FixtureRootLinks, AreResolvedInsideTheRoot) {
    ScratchRoot outside{{"name", "outside\n"}, {"temp1_input", "99000\n"}, {"secret", "leak\n"}};
    ScratchRoot root{{"sys/devices/platform/a/hwmon/hwmon0/name", "inside\n"},
                     {"sys/devices/platform/a/hwmon/hwmon0/temp1_input", "40000\n"},
                     {"sys/devices/platform/b/hwmon/hwmon3/name", "absolute\n"},
                     {"sys/devices/platform/b/hwmon/hwmon3/temp1_input", "41000\n"},
                     {"secret", "the tree's own\n"}};
    const std::string climb =
        stdfs::path(outside.str()).lexically_relative(root.path() / "sys/class/hwmon").string();
    root.link("sys/class/hwmon/hwmon0", "../../devices/platform/a/hwmon/hwmon0");
    root.link("sys/class/hwmon/hwmon1", outside.str()); // absolute, out of the tree
    root.link("sys/class/hwmon/hwmon2", climb);         // "..", out of the tree
    root.link("sys/class/hwmon/hwmon3", "/sys/devices/platform/b/hwmon/hwmon3");
    root.link("sys/escape", "../../../../../../../../..");
    root.link("sys/top", "/");

    const auto chips = platform::readHwmon(root.str());
    std::vector<std::string> names;
    for (const auto& chip : chips)
        names.push_back(chip.name + "@" + std::to_string(chip.number));
    EXPECT_EQ(names, (std::vector<std::string>{"inside@0", "absolute@3"}));

    // The shared readers: ".." stops at the root, "/" is the root's.
    const auto sys = fs::underRoot(root.str(), "/sys");
    EXPECT_EQ(fs::readLine(sys + "/escape/secret"), "the tree's own");
    EXPECT_EQ(fs::readAttribute(sys + "/top/secret"), "the tree's own");
    EXPECT_EQ(fs::listDirectory(sys + "/top"), (std::vector<std::string>{"secret", "sys"}));
    EXPECT_FALSE(fs::readFile(sys + "/class/hwmon/hwmon1/secret"));
    EXPECT_FALSE(fs::readAttribute(sys + "/class/hwmon/hwmon2/secret"));
    EXPECT_TRUE(fs::listDirectory(sys + "/class/hwmon/hwmon1").empty());
    // Outside any root, links are the system's own.
    EXPECT_EQ(fs::readLine(outside.str() + "/secret"), "leak");
}

// The management library is looked up by its soname in the system's library paths: a copy in
// the working directory is never loaded, nor is a relative path.
TEST(VendorLibraries, AreNotLoadedFromTheWorkingDirectory) {
    ScratchRoot root;
    root.writeWords("sys/bus/pci/devices/0000:01:00.0",
                    "vendor=0x10de class=0x030000 power/runtime_status=active");
    ScratchRoot start;
    const QString planted = QString::fromStdString(start.str());
    ASSERT_TRUE(QFile::copy(ORB_FAKE_NVML_PATH, planted + "/libnvidia-ml.so.1"));
    const auto saved = stdfs::current_path();
    stdfs::current_path(start.path());

    // An NVIDIA device awake, so that the source asks for the library by its usual name; it
    // answers once the library is loaded, or with one line saying why not.
    std::ostringstream log;
    QStringList fromPlanted, anyManagementLibrary;
    {
        platform::NvidiaAccelerators source(root.str(),
                                            std::string(platform::nvidia::managementLibrary), log);
        for (int i = 0; i < 100 && log.str().empty() && source.services().empty(); ++i)
            QThread::msleep(50);
        fromPlanted = mappedFrom(planted);
        anyManagementLibrary = mappedFrom(QString()).filter(QStringLiteral("libnvidia-ml"));
    }
    platform::NvmlSession relative("./libnvidia-ml.so.1");
    stdfs::current_path(saved);

    EXPECT_TRUE(log.str().find("libnvidia-ml") != std::string::npos ||
                !anyManagementLibrary.isEmpty())
        << "the library was never asked for: " << log.str();
    EXPECT_TRUE(fromPlanted.isEmpty()) << fromPlanted.join('\n').toStdString();
    EXPECT_FALSE(relative.ready());
    EXPECT_NE(relative.error().find("relative path"), std::string::npos) << relative.error();
}
