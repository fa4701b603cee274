#include "fakes/FakeLoginItem.h"
#include "fakes/FakeSettingsStore.h"
#include "model/Preferences.h"
#include "platform/QtSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

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

} // namespace

TEST(Preferences, EmptyStoreGivesTheDefaultsAndWritesNothing) {
    FakeSettingsStore store;
    FakeLoginItem loginItem;
    Preferences preferences(store, loginItem);

    EXPECT_FALSE(preferences.launchAtLogin());
    EXPECT_EQ(preferences.outerRingMetric(), RingMetric::cpuTotal);
    EXPECT_EQ(preferences.innerRingMetric(), RingMetric::memoryUsed);
    EXPECT_EQ(preferences.numberMetric(), NumberMetric::downloadSpeed);
    EXPECT_EQ(preferences.outerRingColor(), "pink");
    EXPECT_EQ(preferences.innerRingColor(), "blue");
    EXPECT_TRUE(store.writes.isEmpty());
    EXPECT_EQ(loginItem.registerCalls + loginItem.unregisterCalls, 0);
}

TEST(Preferences, StoredNamesMustMatchExactlyAndColoursAreKeptAsStored) {
    FakeSettingsStore store;
    store.values = {{"outerRingMetric", "CPU total"}, // wrong letter case
                    {"innerRingMetric", "CPU %"},     // a number metric, not a ring metric
                    {"numberMetric", "None"},
                    {"innerRingColor", "magenta"}};
    FakeLoginItem loginItem;
    Preferences preferences(store, loginItem);

    EXPECT_EQ(preferences.outerRingMetric(), RingMetric::cpuTotal);
    EXPECT_EQ(preferences.innerRingMetric(), RingMetric::memoryUsed);
    EXPECT_EQ(preferences.numberMetric(), NumberMetric::none);
    // An unknown colour name stays, in memory and in the store; the icon resolves it.
    EXPECT_EQ(preferences.innerRingColor(), "magenta");
    EXPECT_TRUE(store.writes.isEmpty());
}

TEST(Preferences, EverySetPublishesAndThenWritesEvenWhenUnchanged) {
    struct Case {
        QString key;
        QString stored;
        std::function<void(Preferences&)> set;
        void (Preferences::*changed)();
    };
    const QList<Case> cases = {
        {"outerRingMetric", "None", [](Preferences& p) { p.setOuterRingMetric(RingMetric::none); },
         &Preferences::outerRingMetricChanged},
        {"innerRingMetric", "Swap Used",
         [](Preferences& p) { p.setInnerRingMetric(RingMetric::swapUsed); },
         &Preferences::innerRingMetricChanged},
        {"numberMetric", "CPU %", [](Preferences& p) { p.setNumberMetric(NumberMetric::cpuTotal); },
         &Preferences::numberMetricChanged},
        {"outerRingColor", "pink", [](Preferences& p) { p.setOuterRingColor("pink"); },
         &Preferences::outerRingColorChanged},
        {"innerRingColor", "magenta", [](Preferences& p) { p.setInnerRingColor("magenta"); },
         &Preferences::innerRingColorChanged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key.toStdString());
        FakeSettingsStore store;
        FakeLoginItem loginItem;
        Preferences preferences(store, loginItem);
        QList<qsizetype> writesSeenByObservers;
        QObject::connect(&preferences, c.changed,
                         [&] { writesSeenByObservers << store.writes.size(); });

        c.set(preferences);
        c.set(preferences);

        EXPECT_EQ(writesSeenByObservers, QList<qsizetype>({0, 1}));
        const QList<std::pair<QString, QString>> expected = {{c.key, c.stored}, {c.key, c.stored}};
        EXPECT_EQ(store.writes, expected);
    }
}

TEST(Preferences, PropertiesSpeakInRawValuesAndIgnoreUnknownNames) {
    FakeSettingsStore store;
    FakeLoginItem loginItem;
    Preferences preferences(store, loginItem);
    int changes = 0;
    QObject::connect(&preferences, &Preferences::numberMetricChanged, [&] { ++changes; });

    EXPECT_EQ(preferences.property("numberMetric").toString(), "Download");
    EXPECT_TRUE(preferences.setProperty("numberMetric", "Swap Used"));
    EXPECT_EQ(preferences.numberMetric(), NumberMetric::swapUsed);
    EXPECT_EQ(store.values.value("numberMetric"), "Swap Used");

    preferences.setProperty("numberMetric", "swap used");
    preferences.setProperty("innerRingMetric", "Download");
    EXPECT_EQ(preferences.numberMetric(), NumberMetric::swapUsed);
    EXPECT_EQ(preferences.innerRingMetric(), RingMetric::memoryUsed);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(store.writes.size(), 1);

    // Every name a picker offers is accepted back.
    for (const QString& name : preferences.property("ringMetricNames").toStringList()) {
        preferences.setProperty("outerRingMetric", name);
        EXPECT_EQ(preferences.property("outerRingMetric").toString(), name);
    }
    EXPECT_EQ(preferences.property("colors").toStringList(),
              QStringList({"pink", "red", "blue", "green", "yellow", "orange", "purple", "cyan"}));
}

TEST(Preferences, LaunchAtLoginFollowsTheStatusAndSwitchingItCallsTheService) {
    struct Case {
        LoginItemStatus status;
        bool launch;
        int registers;
        int unregisters;
    };
    const Case cases[] = {
        {LoginItemStatus::notRegistered, true, 1, 0},     {LoginItemStatus::enabled, true, 0, 0},
        {LoginItemStatus::requiresApproval, true, 1, 0},  {LoginItemStatus::notFound, true, 1, 0},
        {LoginItemStatus::notRegistered, false, 0, 0},    {LoginItemStatus::enabled, false, 0, 1},
        {LoginItemStatus::requiresApproval, false, 0, 1}, {LoginItemStatus::notFound, false, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "status " << static_cast<int>(c.status) << ", launch " << c.launch);
        FakeSettingsStore store;
        FakeLoginItem loginItem;
        loginItem.current = c.status;
        Preferences preferences(store, loginItem);
        EXPECT_EQ(preferences.launchAtLogin(), c.status == LoginItemStatus::enabled);
        int changes = 0;
        QObject::connect(&preferences, &Preferences::launchAtLoginChanged, [&] { ++changes; });

        preferences.setLaunchAtLogin(c.launch);

        EXPECT_EQ(changes, 1);
        EXPECT_EQ(preferences.launchAtLogin(), c.launch);
        EXPECT_EQ(loginItem.registerCalls, c.registers);
        EXPECT_EQ(loginItem.unregisterCalls, c.unregisters);
        EXPECT_TRUE(store.writes.isEmpty());
    }
}

TEST(Preferences, FailedLoginItemUpdateIsReportedAndTheChoiceStays) {
    FakeSettingsStore store;
    FakeLoginItem loginItem;
    loginItem.registerError = "no room left on the device";
    Preferences preferences(store, loginItem);

    EXPECT_EQ(printedBy([&] { preferences.setLaunchAtLogin(true); }),
              "Failed to update launch at login status: no room left on the device\n");
    EXPECT_TRUE(preferences.launchAtLogin());
    EXPECT_EQ(loginItem.registerCalls, 1);

    loginItem.current = LoginItemStatus::enabled;
    loginItem.unregisterError = "permission denied";
    EXPECT_EQ(printedBy([&] { preferences.setLaunchAtLogin(false); }),
              "Failed to update launch at login status: permission denied\n");
    EXPECT_FALSE(preferences.launchAtLogin());
    EXPECT_EQ(loginItem.unregisterCalls, 1);
}

// The same choices through the real store, in a file of a temporary folder.

TEST(PreferencesStore, ChoicesAreSavedAtOnceAsPlainStrings) {
    QTemporaryDir dir;
    const QString path = dir.filePath("orbimeter/orbimeter.conf");
    FakeLoginItem loginItem;
    {
        QtSettingsStore store(path);
        Preferences preferences(store, loginItem);
        EXPECT_FALSE(QFile::exists(path)) << "an empty store is left empty";

        preferences.setNumberMetric(NumberMetric::cpuTotal);
        preferences.setInnerRingMetric(RingMetric::swapUsed);
        preferences.setInnerRingColor("magenta");
        preferences.setOuterRingColor("a, b");

        const QStringList lines = QString::fromUtf8(contentOf(path)).split('\n');
        EXPECT_TRUE(lines.contains("numberMetric=CPU %")) << lines.join('|').toStdString();
        EXPECT_TRUE(lines.contains("innerRingMetric=Swap Used"));
        EXPECT_TRUE(lines.contains("innerRingColor=magenta"));
        EXPECT_FALSE(contentOf(path).contains("outerRingMetric"));
    }
    QtSettingsStore store(path);
    Preferences preferences(store, loginItem);
    EXPECT_EQ(preferences.numberMetric(), NumberMetric::cpuTotal);
    EXPECT_EQ(preferences.innerRingMetric(), RingMetric::swapUsed);
    EXPECT_EQ(preferences.innerRingColor(), "magenta");
    EXPECT_EQ(preferences.outerRingColor(), "a, b");
    EXPECT_EQ(preferences.outerRingMetric(), RingMetric::cpuTotal);
}

TEST(PreferencesStore, DamagedFileGivesTheDefaultsWithOneLineAndIsKeptAside) {
    QTemporaryDir dir;
    const QString path = dir.filePath("orbimeter.conf");
    const QByteArray damaged("[General]\nouterRingMetric=Fan 0\n\x00\x9f\xff\x01[[garbage\x80\n",
                             43);
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(damaged);
    }
    FakeLoginItem loginItem;
    std::unique_ptr<QtSettingsStore> store;
    std::unique_ptr<Preferences> preferences;
    const std::string printed = printedBy([&] {
        store = std::make_unique<QtSettingsStore>(path);
        preferences = std::make_unique<Preferences>(*store, loginItem);
        preferences->setInnerRingColor("red");
        preferences->setInnerRingColor("green");
    });

    EXPECT_EQ(printed, "Settings: " + path.toStdString() + " was damaged and is kept as " +
                           path.toStdString() + ".damaged; using the defaults\n");
    // Even the part that looked readable is not trusted.
    EXPECT_EQ(preferences->outerRingMetric(), RingMetric::cpuTotal);
    EXPECT_EQ(contentOf(path + ".damaged"), damaged);
    EXPECT_TRUE(contentOf(path).contains("innerRingColor=green"));
}

TEST(PreferencesStore, UnwritableStoreKeepsTheChoicesAndSaysSoOnce) {
    QTemporaryDir dir;
    // A file where the store's folder should be stops writes even for the superuser.
    QFile blocker(dir.filePath("config"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString path = dir.filePath("config/orbimeter/orbimeter.conf");

    FakeLoginItem loginItem;
    QtSettingsStore store(path);
    Preferences preferences(store, loginItem);
    const std::string printed = printedBy([&] {
        preferences.setOuterRingMetric(RingMetric::fan0);
        preferences.setOuterRingMetric(RingMetric::diskRead);
        preferences.setNumberMetric(NumberMetric::uptime);
    });

    EXPECT_EQ(printed, "Settings: cannot save to " + path.toStdString() +
                           "; changes last until Orbimeter quits\n");
    EXPECT_EQ(preferences.outerRingMetric(), RingMetric::diskRead);
    EXPECT_EQ(store.stringForKey("outerRingMetric"), "Disk Read");
    EXPECT_EQ(preferences.numberMetric(), NumberMetric::uptime);
}

TEST(PreferencesStore, UnreadableStoreReadsAsEmpty) {
    QTemporaryDir dir;
    // A folder where the file should be: it can be neither read nor replaced.
    const QString path = dir.filePath("orbimeter.conf");
    ASSERT_TRUE(QDir().mkpath(path + "/inside"));

    FakeLoginItem loginItem;
    std::unique_ptr<QtSettingsStore> store;
    std::unique_ptr<Preferences> preferences;
    const std::string printed = printedBy([&] {
        store = std::make_unique<QtSettingsStore>(path);
        preferences = std::make_unique<Preferences>(*store, loginItem);
        preferences->setOuterRingColor("red");
        preferences->setOuterRingColor("cyan");
    });

    EXPECT_EQ(printed, "Settings: cannot read " + path.toStdString() +
                           "; using the defaults\nSettings: cannot save to " + path.toStdString() +
                           "; changes last until Orbimeter quits\n");
    EXPECT_EQ(preferences->innerRingMetric(), RingMetric::memoryUsed);
    EXPECT_EQ(preferences->outerRingColor(), "cyan");
}
