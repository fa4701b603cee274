#include "fakes/FakeLoginItem.h"
#include "fakes/FakeSettingsStore.h"
#include "linux/PrivateMount.h"
#include "model/Preferences.h"
#include "platform/QtSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

using namespace orb;
using orb::testing::FakeLoginItem;
using orb::testing::FakeSettingsStore;
using orb::testing::PrivateMount;
using Status = FakeLoginItem::Status;

namespace {

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// Preferences over the store as the program builds it, in temporary config directories.
struct PreferencesStore : ::testing::Test {
    QTemporaryDir dir;
    const QByteArray savedConfigHome = qgetenv("XDG_CONFIG_HOME"); // empty counts as unset
    FakeLoginItem loginItem;
    std::optional<platform::QtSettingsStore> store;
    std::optional<Preferences> prefs;

    ~PreferencesStore() override { qputenv("XDG_CONFIG_HOME", savedConfigHome); }

    // Opens the store afresh below `configHome` and makes the first choices, on the preferences
    // or on the store; returns what that printed.
    std::string open(
        const QString& configHome,
        const std::function<void(Preferences&)>& choose = [](Preferences&) {}) {
        qputenv("XDG_CONFIG_HOME", configHome.toUtf8());
        prefs.reset();
        ::testing::internal::CaptureStdout();
        choose(prefs.emplace(store.emplace(), loginItem));
        return ::testing::internal::GetCapturedStdout();
    }
    void close() { // before the folder goes
        prefs.reset();
        store.reset();
    }
};

} // namespace

TEST(Preferences, StoredAndPickedNamesMustMatchExactlyOrNothingChanges) {
    FakeSettingsStore store;
    store.values = {{"outerRingMetric", "swap used"}, // wrong letter case
                    {"innerRingMetric", "CPU %"}};    // a number metric, not a ring metric
    FakeLoginItem loginItem;
    Preferences prefs(store, loginItem);
    EXPECT_EQ(prefs.outerRingMetric(), RingMetric::cpuTotal);
    EXPECT_EQ(prefs.innerRingMetric(), RingMetric::memoryUsed);
    prefs.setProperty("numberMetric", "swap used");
    prefs.setProperty("innerRingMetric", "Download");
    EXPECT_EQ(prefs.numberMetric(), NumberMetric::downloadSpeed);
    EXPECT_EQ(prefs.innerRingMetric(), RingMetric::memoryUsed);
    EXPECT_TRUE(store.writes.isEmpty());
}

TEST(Preferences, LaunchAtLoginFollowsTheStatusAndSwitchingItCallsTheServiceOnlyWhenNeeded) {
    using enum platform::LoginItemStatus;
    // The status, then the calls to register and unregister for a switch on and for one off.
    const std::tuple<Status, int, int> cases[] = {
        {notRegistered, 1, 0}, {enabled, 0, 1}, {requiresApproval, 1, 1}, {notFound, 1, 1}};
    for (const auto& [status, registersWhenOn, unregistersWhenOff] : cases) {
        for (bool launch : {true, false}) {
            FakeSettingsStore store;
            FakeLoginItem loginItem(status);
            Preferences prefs(store, loginItem);
            EXPECT_EQ(prefs.launchAtLogin(), status == enabled);
            prefs.setLaunchAtLogin(launch);
            EXPECT_EQ(std::pair(loginItem.registerCalls, loginItem.unregisterCalls),
                      launch ? std::pair(registersWhenOn, 0) : std::pair(0, unregistersWhenOff))
                << int(status) << (launch ? " on" : " off");
            EXPECT_TRUE(store.writes.isEmpty()) << "the service keeps the state, not the store";
        }
    }
}

TEST_F(PreferencesStore, DamagedFilesAreSetAsideEvenIfReadBeforeAndReplacedByAWholeFile) {
    QByteArray binary;
    for (int i = 0; i < 512; ++i)
        binary.append(static_cast<char>((i * 151 + 7) % 256)); // NULs, '[' and '=' among them
    // What the file holds, and whether that is damaged and kept aside as orbimeter.conf.damaged.
    const std::tuple<const char*, QByteArray, bool> cases[] = {
        {"a section without its ']'", "[General\nouterRingMetric=Fan 0\n", true},
        {"empty", "", false},
        {"binary", binary, true}};
    for (const auto& [what, content, damaged] : cases) {
        SCOPED_TRACE(what);
        QTemporaryDir home;
        const QString file = home.filePath("orbimeter/orbimeter.conf");
        ASSERT_TRUE(writeFile(file, content));
        // QSettings shares one parse of a file within the process: reading it first here hides
        // the format error from every later QSettings on the same file.
        QSettings(file, QSettings::IniFormat).allKeys();
        const std::string where = file.toStdString();
        EXPECT_EQ(open(home.path(),
                       [](Preferences& p) {
                           p.setNumberMetric(NumberMetric::cpuTotal);
                           p.setOuterRingColor("a, b"); // would read back as a list if not quoted
                       }),
                  damaged ? "Settings: " + where + " was damaged and is kept as " + where +
                                ".damaged; using the defaults\n"
                          : "");
        // Even the part that looked readable is not trusted.
        EXPECT_EQ(prefs->outerRingMetric(), RingMetric::cpuTotal);
        EXPECT_EQ(contentOf(file + ".damaged"), damaged ? content : QByteArray());
        EXPECT_EQ(contentOf(file), "[General]\nnumberMetric=CPU %\nouterRingColor=\"a, b\"\n");

        EXPECT_EQ(open(home.path()), "");
        EXPECT_EQ(std::pair(prefs->numberMetric(), prefs->outerRingColor()),
                  std::pair(NumberMetric::cpuTotal, QString("a, b")));
        close();
    }
}

TEST_F(PreferencesStore, UnusableStoreKeepsTheChoicesAndSaysSoOnce) {
    // A folder where the file should be can be neither read nor replaced; a file where the
    // config directory should be stops writes even for the superuser.
    ASSERT_TRUE(QDir().mkpath(dir.filePath("orbimeter/orbimeter.conf/inside")));
    const QString blocker = dir.filePath("blocker");
    ASSERT_TRUE(QFile(blocker).open(QIODevice::WriteOnly));
    for (const QString& configHome : {dir.path(), blocker}) {
        const std::string where = (configHome + "/orbimeter/orbimeter.conf").toStdString();
        const std::string cannotRead = "Settings: cannot read " + where + "; using the defaults\n";
        EXPECT_EQ(open(configHome,
                       [](Preferences& p) {
                           p.setOuterRingMetric(RingMetric::fan0);
                           p.setOuterRingMetric(RingMetric::diskRead);
                       }),
                  (configHome == blocker ? "" : cannotRead) + "Settings: cannot save to " + where +
                      "; changes last until Orbimeter quits\n");
        EXPECT_EQ(prefs->outerRingMetric(), RingMetric::diskRead);
    }
}

TEST_F(PreferencesStore, ReadOnlyOrFullDiskKeepsTheFileAsItWasAndSaysSoOnce) {
    const QByteArray saved = "[General]\nnumberMetric=Mem Free\n";
    for (const bool readOnly : {true, false}) {
        SCOPED_TRACE(readOnly ? "read-only" : "full");
        PrivateMount mount("tmpfs", dir.path().toStdString(), "size=64k");
        if (mount.path().empty())
            GTEST_SKIP() << mount.failure();
        const QString home = QString::fromStdString(mount.path());
        const QString file = home + "/orbimeter/orbimeter.conf", filler = home + "/filler";
        ASSERT_TRUE(writeFile(file, saved));
        if (readOnly) {
            ASSERT_TRUE(mount.makeReadOnly());
        } else {
            QFile fill(filler);
            ASSERT_TRUE(fill.open(QIODevice::WriteOnly));
            while (fill.write(QByteArray(4096, 'x')) > 0 && fill.flush()) {
            }
        }
        EXPECT_EQ(open(home,
                       [&](Preferences&) {
                           EXPECT_EQ(store->stringForKey("numberMetric"), "Mem Free");
                           store->setString("numberMetric", "CPU %");
                           store->setString("outerRingMetric", "Fan 0");
                       }),
                  "Settings: cannot save to " + file.toStdString() +
                      "; changes last until Orbimeter quits\n");
        EXPECT_EQ(store->stringForKey("numberMetric"), "CPU %") << "kept for the session";
        EXPECT_EQ(contentOf(file), saved);
        // No half-written temporary file is left beside it.
        const QStringList left = QDir(QFileInfo(file).path()).entryList(QDir::Files);
        EXPECT_EQ(left, QStringList{"orbimeter.conf"}) << left.join(", ").toStdString();
        if (!readOnly) {
            // Once there is room again the choices still pending are saved, all at once.
            ASSERT_TRUE(QFile::remove(filler));
            store->setString("innerRingMetric", "GPU");
            EXPECT_EQ(contentOf(file), "[General]\ninnerRingMetric=GPU\nnumberMetric=CPU %\n"
                                       "outerRingMetric=Fan 0\n");
        }
        close(); // before its mount goes
    }
}
