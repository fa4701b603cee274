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
#include <optional>
#include <tuple>

using namespace orb;
using orb::platform::LoginItemStatus;
using orb::platform::QtSettingsStore;
using orb::testing::FakeLoginItem;
using orb::testing::FakeSettingsStore;

namespace {

std::string printedBy(const std::function<void()>& action) {
    ::testing::internal::CaptureStdout();
    action();
    return ::testing::internal::GetCapturedStdout();
}

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
    std::optional<QtSettingsStore> store;
    std::optional<Preferences> prefs;

    PreferencesStore() { qputenv("XDG_CONFIG_HOME", dir.path().toUtf8()); }
    ~PreferencesStore() override { qputenv("XDG_CONFIG_HOME", savedConfigHome); }

    // Opens the store afresh and makes the first choices; returns what that printed.
    std::string open(const std::function<void(Preferences&)>& choose = [](Preferences&) {}) {
        prefs.reset();
        return printedBy([&] { choose(prefs.emplace(store.emplace(), loginItem)); });
    }
};

// Preferences over in-memory fakes, the login item in `status`.
struct Fakes {
    explicit Fakes(LoginItemStatus status = LoginItemStatus::notRegistered) : loginItem(status) {}
    FakeSettingsStore store;
    FakeLoginItem loginItem;
    Preferences prefs{store, loginItem};
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
    EXPECT_EQ(loginItem.registerCalls + loginItem.unregisterCalls, 0);

    prefs.setProperty("numberMetric", "swap used");
    prefs.setProperty("innerRingMetric", "Download");
    EXPECT_EQ(prefs.numberMetric(), NumberMetric::downloadSpeed);
    EXPECT_EQ(prefs.innerRingMetric(), RingMetric::memoryUsed);
    EXPECT_TRUE(store.writes.isEmpty());
}

// Through the properties the pickers use, which take the stored names.
TEST(Preferences, EverySetPublishesAndThenWritesEvenWhenUnchanged) {
    const std::tuple<const char*, QString, void (Preferences::*)()> cases[] = {
        {"outerRingMetric", "None", &Preferences::outerRingMetricChanged},
        {"innerRingMetric", "Swap Used", &Preferences::innerRingMetricChanged},
        {"numberMetric", "CPU %", &Preferences::numberMetricChanged},
        {"outerRingColor", "green", &Preferences::outerRingColorChanged},
        {"innerRingColor", "magenta", &Preferences::innerRingColorChanged},
    };
    for (const auto& [key, stored, changed] : cases) {
        SCOPED_TRACE(key);
        Fakes f;
        QList<qsizetype> writesSeenByObservers;
        QObject::connect(&f.prefs, changed,
                         [&] { writesSeenByObservers << f.store.writes.size(); });
        f.prefs.setProperty(key, stored);
        f.prefs.setProperty(key, stored);
        EXPECT_EQ(f.prefs.property(key).toString(), stored);
        EXPECT_EQ(writesSeenByObservers, QList<qsizetype>({0, 1}));
        EXPECT_EQ(f.store.writes, (QList<std::pair<QString, QString>>(2, {key, stored})));
    }
}

TEST(Preferences, LaunchAtLoginFollowsTheStatusAndSwitchingItCallsTheServiceOnlyWhenNeeded) {
    using enum LoginItemStatus;
    const struct {
        LoginItemStatus status;
        int registersWhenOn, unregistersWhenOff;
    } cases[] = {
        {notRegistered, 1, 0}, {enabled, 0, 1}, {requiresApproval, 1, 1}, {notFound, 1, 1}};
    for (const auto& c : cases) {
        for (bool launch : {true, false}) {
            SCOPED_TRACE(::testing::Message() << int(c.status) << (launch ? " on" : " off"));
            Fakes f(c.status);
            EXPECT_EQ(f.prefs.launchAtLogin(), c.status == enabled);
            int changes = 0;
            QObject::connect(&f.prefs, &Preferences::launchAtLoginChanged, [&] { ++changes; });
            f.prefs.setLaunchAtLogin(launch);
            EXPECT_EQ(changes, 1);
            EXPECT_EQ(f.prefs.launchAtLogin(), launch);
            EXPECT_EQ(f.loginItem.registerCalls, launch ? c.registersWhenOn : 0);
            EXPECT_EQ(f.loginItem.unregisterCalls, launch ? 0 : c.unregistersWhenOff);
            EXPECT_TRUE(f.store.writes.isEmpty());
        }
    }
}

TEST_F(PreferencesStore, ChoicesAreSavedAtOnceAsPlainStringsInTheUsersConfigDirectory) {
    open([&](Preferences& p) {
        EXPECT_FALSE(QFile::exists(path)) << "an empty store is left empty";
        p.setNumberMetric(NumberMetric::cpuTotal);
        p.setInnerRingColor("magenta");
        p.setOuterRingColor("a, b"); // would read back as a list if not quoted
    });
    const QStringList lines = QString::fromUtf8(contentOf(path)).split('\n');
    EXPECT_TRUE(lines.contains("numberMetric=CPU %")) << lines.join('|').toStdString();
    EXPECT_TRUE(lines.contains("innerRingColor=magenta"));

    open();
    EXPECT_EQ(prefs->numberMetric(), NumberMetric::cpuTotal);
    EXPECT_EQ(prefs->outerRingColor(), "a, b");
}

TEST_F(PreferencesStore, DamagedFileIsSetAsideWithOneLineEvenIfTheFileWasReadBefore) {
    const QByteArray damaged = "[General\nouterRingMetric=Fan 0\n"; // a section without its ']'
    QDir().mkpath(dir.filePath("orbimeter"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(damaged) == damaged.size());
    file.close();
    // QSettings shares one parse of a file within the process: reading it first here hides the
    // format error from every later QSettings on the same file.
    QSettings(path, QSettings::IniFormat).allKeys();

    EXPECT_EQ(open([](Preferences& p) { p.setInnerRingColor("green"); }),
              "Settings: " + path.toStdString() + " was damaged and is kept as " +
                  path.toStdString() + ".damaged; using the defaults\n");
    // Even the part that looked readable is not trusted.
    EXPECT_EQ(prefs->outerRingMetric(), RingMetric::cpuTotal);
    EXPECT_EQ(contentOf(dir.filePath("orbimeter/orbimeter.conf.damaged")), damaged);
    EXPECT_TRUE(contentOf(path).contains("innerRingColor=green"));
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
