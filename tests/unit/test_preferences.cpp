#include "fakes/FakeLoginItem.h"
#include "fakes/FakeSettingsStore.h"
#include "model/Preferences.h"
#include "platform/QtSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

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

// Preferences over the real store in the file at `path`, with what opening it and making the
// first choices printed.
struct OnDisk {
    FakeLoginItem loginItem;
    std::optional<QtSettingsStore> store;
    std::optional<Preferences> preferences;
    std::string printed;

    OnDisk(const QString& path, const std::function<void(Preferences&)>& choose) {
        printed = printedBy([&] {
            store.emplace(path);
            choose(preferences.emplace(*store, loginItem));
        });
    }
};

} // namespace

TEST(Preferences, StoredNamesMustMatchExactlyOrTheDefaultsStand) {
    FakeSettingsStore store;
    store.values = {{"outerRingMetric", "CPU total"}, // wrong letter case
                    {"innerRingMetric", "CPU %"}};    // a number metric, not a ring metric
    FakeLoginItem loginItem;
    Preferences preferences(store, loginItem);
    EXPECT_FALSE(preferences.launchAtLogin());
    EXPECT_EQ(preferences.outerRingMetric(), RingMetric::cpuTotal);
    EXPECT_EQ(preferences.innerRingMetric(), RingMetric::memoryUsed);
    EXPECT_EQ(preferences.numberMetric(), NumberMetric::downloadSpeed);
    EXPECT_EQ(preferences.outerRingColor(), "pink");
    EXPECT_EQ(preferences.innerRingColor(), "blue");
    EXPECT_EQ(loginItem.registerCalls + loginItem.unregisterCalls, 0);

    // The pickers' names follow the same rule: an unknown one changes nothing.
    preferences.setProperty("numberMetric", "swap used");
    preferences.setProperty("innerRingMetric", "Download");
    EXPECT_EQ(preferences.numberMetric(), NumberMetric::downloadSpeed);
    EXPECT_EQ(preferences.innerRingMetric(), RingMetric::memoryUsed);
    EXPECT_TRUE(store.writes.isEmpty());
}

// Through the properties the pickers use, which take the stored names.
TEST(Preferences, EverySetPublishesAndThenWritesEvenWhenUnchanged) {
    const struct {
        const char* key;
        QString stored;
        void (Preferences::*changed)();
    } cases[] = {
        {"outerRingMetric", "None", &Preferences::outerRingMetricChanged},
        {"innerRingMetric", "Swap Used", &Preferences::innerRingMetricChanged},
        {"numberMetric", "CPU %", &Preferences::numberMetricChanged},
        {"outerRingColor", "pink", &Preferences::outerRingColorChanged}, // the default
        {"innerRingColor", "magenta", &Preferences::innerRingColorChanged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        FakeSettingsStore store;
        FakeLoginItem loginItem;
        Preferences preferences(store, loginItem);
        QList<qsizetype> writesSeenByObservers;
        QObject::connect(&preferences, c.changed,
                         [&] { writesSeenByObservers << store.writes.size(); });

        preferences.setProperty(c.key, c.stored);
        preferences.setProperty(c.key, c.stored);

        EXPECT_EQ(preferences.property(c.key).toString(), c.stored);
        EXPECT_EQ(writesSeenByObservers, QList<qsizetype>({0, 1}));
        const QList<std::pair<QString, QString>> expected = {{c.key, c.stored}, {c.key, c.stored}};
        EXPECT_EQ(store.writes, expected);
    }
}

TEST(Preferences, LaunchAtLoginFollowsTheStatusAndSwitchingItCallsTheServiceOrSaysWhyNot) {
    using enum LoginItemStatus;
    const struct {
        LoginItemStatus status;
        int registersWhenOn;
        int unregistersWhenOff;
    } cases[] = {
        {notRegistered, 1, 0}, {enabled, 0, 1}, {requiresApproval, 1, 1}, {notFound, 1, 1}};
    for (const auto& c : cases) {
        for (bool launch : {true, false}) {
            SCOPED_TRACE(::testing::Message() << int(c.status) << (launch ? " on" : " off"));
            FakeSettingsStore store;
            FakeLoginItem loginItem;
            loginItem.current = c.status;
            Preferences preferences(store, loginItem);
            EXPECT_EQ(preferences.launchAtLogin(), c.status == enabled);
            int changes = 0;
            QObject::connect(&preferences, &Preferences::launchAtLoginChanged, [&] { ++changes; });

            preferences.setLaunchAtLogin(launch);

            EXPECT_EQ(changes, 1);
            EXPECT_EQ(preferences.launchAtLogin(), launch);
            EXPECT_EQ(loginItem.registerCalls, launch ? c.registersWhenOn : 0);
            EXPECT_EQ(loginItem.unregisterCalls, launch ? 0 : c.unregistersWhenOff);
            EXPECT_TRUE(store.writes.isEmpty());
        }
    }

    // A failed update is reported, and the choice stays.
    FakeSettingsStore store;
    FakeLoginItem loginItem;
    loginItem.registerError = "no room left on the device";
    Preferences preferences(store, loginItem);
    EXPECT_EQ(printedBy([&] { preferences.setLaunchAtLogin(true); }),
              "Failed to update launch at login status: no room left on the device\n");
    EXPECT_TRUE(preferences.launchAtLogin());
}

// The same choices through the real store, in a file of a temporary folder.

TEST(PreferencesStore, ChoicesAreSavedAtOnceAsPlainStrings) {
    QTemporaryDir dir;
    const QString path = dir.filePath("orbimeter/orbimeter.conf");
    const OnDisk first(path, [&](Preferences& p) {
        EXPECT_FALSE(QFile::exists(path)) << "an empty store is left empty";
        p.setNumberMetric(NumberMetric::cpuTotal);
        p.setInnerRingColor("magenta");
        p.setOuterRingColor("a, b"); // would read back as a list if not quoted
    });
    const QStringList lines = QString::fromUtf8(contentOf(path)).split('\n');
    EXPECT_TRUE(lines.contains("numberMetric=CPU %")) << lines.join('|').toStdString();
    EXPECT_TRUE(lines.contains("innerRingColor=magenta"));

    const OnDisk again(path, [](Preferences&) {});
    EXPECT_EQ(again.preferences->numberMetric(), NumberMetric::cpuTotal);
    EXPECT_EQ(again.preferences->innerRingColor(), "magenta");
    EXPECT_EQ(again.preferences->outerRingColor(), "a, b");
}

TEST(PreferencesStore, DamagedFileGivesTheDefaultsWithOneLineAndIsKeptAside) {
    QTemporaryDir dir;
    const QString path = dir.filePath("orbimeter.conf");
    const QByteArray damaged("[General]\nouterRingMetric=Fan 0\n\x00\x9f\xff\x01[[garbage\x80\n",
                             43);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(damaged) == damaged.size());
    file.close();

    const OnDisk disk(path, [](Preferences& p) { p.setInnerRingColor("green"); });

    EXPECT_EQ(disk.printed, "Settings: " + path.toStdString() + " was damaged and is kept as " +
                                path.toStdString() + ".damaged; using the defaults\n");
    // Even the part that looked readable is not trusted.
    EXPECT_EQ(disk.preferences->outerRingMetric(), RingMetric::cpuTotal);
    EXPECT_EQ(contentOf(path + ".damaged"), damaged);
    EXPECT_TRUE(contentOf(path).contains("innerRingColor=green"));
}

TEST(PreferencesStore, UnusableStoreKeepsTheChoicesAndSaysSoOnce) {
    QTemporaryDir dir;
    // A file where the store's folder should be stops writes even for the superuser; a folder
    // where the file should be can be neither read nor replaced.
    QFile blocker(dir.filePath("config"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString unwritable = dir.filePath("config/orbimeter.conf");
    const QString unreadable = dir.filePath("orbimeter.conf");
    ASSERT_TRUE(QDir().mkpath(unreadable + "/inside"));

    for (const QString& path : {unwritable, unreadable}) {
        const OnDisk disk(path, [](Preferences& p) {
            p.setOuterRingMetric(RingMetric::fan0);
            p.setOuterRingMetric(RingMetric::diskRead);
        });
        const std::string where = path.toStdString();
        const std::string cannotRead = "Settings: cannot read " + where + "; using the defaults\n";
        EXPECT_EQ(disk.printed, (path == unreadable ? cannotRead : "") +
                                    "Settings: cannot save to " + where +
                                    "; changes last until Orbimeter quits\n");
        EXPECT_EQ(disk.preferences->outerRingMetric(), RingMetric::diskRead);
        EXPECT_EQ(disk.preferences->innerRingMetric(), RingMetric::memoryUsed);
    }
}
