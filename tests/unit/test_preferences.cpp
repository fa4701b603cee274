#include "fakes/FakeLoginItem.h"
#include "fakes/FakeSettingsStore.h"
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
using Status = FakeLoginItem::Status;

namespace {

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Preferences over the store as the program builds it, in a temporary config directory.
struct PreferencesStore : ::testing::Test {
    QTemporaryDir dir;
    const QByteArray savedConfigHome = qgetenv("XDG_CONFIG_HOME"); // empty counts as unset
    const QString path = dir.filePath("orbimeter/orbimeter.conf");
    FakeLoginItem loginItem;
    std::optional<platform::QtSettingsStore> store;
    std::optional<Preferences> prefs;

    PreferencesStore() { qputenv("XDG_CONFIG_HOME", dir.path().toUtf8()); }
    ~PreferencesStore() override { qputenv("XDG_CONFIG_HOME", savedConfigHome); }

    // Opens the store afresh and makes the first choices; returns what that printed.
    std::string open(const std::function<void(Preferences&)>& choose = [](Preferences&) {}) {
        prefs.reset();
        ::testing::internal::CaptureStdout();
        choose(prefs.emplace(store.emplace(), loginItem));
        return ::testing::internal::GetCapturedStdout();
    }
};

} // namespace

TEST(Preferences, StoredAndPickedNamesMustMatchExactlyOrNothingChanges) {
    FakeSettingsStore store;
    store.values = {{"outerRingMetric", "CPU total"}, // wrong letter case
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
    using enum Status;
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

TEST_F(PreferencesStore, DamagedFileIsSetAsideEvenIfReadBeforeAndChoicesAreSavedAsPlainText) {
    const QByteArray damaged = "[General\nouterRingMetric=Fan 0\n"; // a section without its ']'
    QDir().mkpath(dir.filePath("orbimeter"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(damaged) == damaged.size());
    file.close();
    // QSettings shares one parse of a file within the process: reading it first here hides the
    // format error from every later QSettings on the same file.
    QSettings(path, QSettings::IniFormat).allKeys();

    const std::string where = path.toStdString();
    EXPECT_EQ(open([](Preferences& p) {
                  p.setNumberMetric(NumberMetric::cpuTotal);
                  p.setOuterRingColor("a, b"); // would read back as a list if not quoted
              }),
              "Settings: " + where + " was damaged and is kept as " + where +
                  ".damaged; using the defaults\n");
    // Even the part that looked readable is not trusted.
    EXPECT_EQ(prefs->outerRingMetric(), RingMetric::cpuTotal);
    EXPECT_EQ(contentOf(path + ".damaged"), damaged);
    EXPECT_TRUE(contentOf(path).split('\n').contains("numberMetric=CPU %"));

    EXPECT_EQ(open(), "");
    EXPECT_EQ(prefs->numberMetric(), NumberMetric::cpuTotal);
    EXPECT_EQ(prefs->outerRingColor(), "a, b");
}

TEST_F(PreferencesStore, UnusableStoreKeepsTheChoicesAndSaysSoOnce) {
    // A folder where the file should be can be neither read nor replaced; a file where the
    // config directory should be stops writes even for the superuser.
    ASSERT_TRUE(QDir().mkpath(path + "/inside"));
    const QString blocker = dir.filePath("blocker");
    ASSERT_TRUE(QFile(blocker).open(QIODevice::WriteOnly));
    for (const QString& configHome : {dir.path(), blocker}) {
        qputenv("XDG_CONFIG_HOME", configHome.toUtf8());
        const std::string where = (configHome + "/orbimeter/orbimeter.conf").toStdString();
        const std::string cannotRead = "Settings: cannot read " + where + "; using the defaults\n";
        EXPECT_EQ(open([](Preferences& p) {
                      p.setOuterRingMetric(RingMetric::fan0);
                      p.setOuterRingMetric(RingMetric::diskRead);
                  }),
                  (configHome == blocker ? "" : cannotRead) + "Settings: cannot save to " + where +
                      "; changes last until Orbimeter quits\n");
        EXPECT_EQ(prefs->outerRingMetric(), RingMetric::diskRead);
    }
}
