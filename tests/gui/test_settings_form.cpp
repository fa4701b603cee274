#include "ShellFixture.h"
#include "app/Shell.h"
#include "model/MetricCatalogue.h"

using namespace orb;
using orb::testing::ShellFixture;

namespace {

struct SettingsForm : ShellFixture {
    std::unique_ptr<Shell> shell;
    QQuickView* window = nullptr;

    // After the test has set the preferences the form starts from.
    void open() {
        shell = std::make_unique<Shell>(monitor, prefs);
        shell->openSettings();
        window = shell->settingsWindow();
        ASSERT_TRUE(window && window->rootObject()) << "the settings page did not load";
    }
    QQuickItem* row(const char* name) { return item(window, name); }
    QObject* picker(const char* name) { return row(name)->property("picker").value<QObject*>(); }
    QString shown(const char* name) { return picker(name)->property("currentText").toString(); }
    void choose(const char* name, int index) {
        picker(name)->setProperty("currentIndex", index);
        QMetaObject::invokeMethod(picker(name), "activated", Q_ARG(int, index));
    }
};

} // namespace

TEST_F(SettingsForm, PickersListEveryChoiceInOrderAndShowTheCurrentOne) {
    prefs.setInnerRingColor("purple");
    prefs.setNumberMetric(NumberMetric::uptime);
    open();
    EXPECT_EQ(picker("outerRingMetric")->property("count").toInt(), 19);
    EXPECT_EQ(picker("innerRingMetric")->property("count").toInt(), 19);
    EXPECT_EQ(picker("numberMetric")->property("count").toInt(), 63);
    EXPECT_EQ(picker("outerRingColor")->property("count").toInt(), 8);
    EXPECT_EQ(shown("outerRingMetric"), "CPU Total");
    EXPECT_EQ(shown("numberMetric"), "Uptime");
    EXPECT_EQ(shown("innerRingColor"), "Purple");
    EXPECT_EQ(shown("outerRingColor"), "Pink");
    EXPECT_FALSE(row("launchAtLogin")->property("checked").toBool());
}

TEST_F(SettingsForm, ColourPickersShowOnlyWhileTheirRingIsShownAndSelectOnlyListedColours) {
    prefs.setOuterRingMetric(RingMetric::none);
    prefs.setInnerRingColor("magenta");
    open();
    EXPECT_FALSE(row("outerRingColor")->isVisible());
    EXPECT_TRUE(row("innerRingColor")->isVisible());
    EXPECT_EQ(picker("innerRingColor")->property("currentIndex").toInt(), -1);
    EXPECT_EQ(prefs.innerRingColor(), "magenta");

    choose("outerRingMetric", 1); // "CPU Total"
    EXPECT_TRUE(row("outerRingColor")->isVisible());
    EXPECT_EQ(shown("outerRingColor"), "Pink");
}

TEST_F(SettingsForm, EveryChoiceIsStoredAtOnce) {
    open();
    store.writes.clear();
    choose("innerRingColor", 6);
    choose("innerRingMetric", 16);
    choose("numberMetric", 0);
    choose("outerRingMetric", 1);
    EXPECT_EQ(prefs.innerRingColor(), "purple");
    EXPECT_EQ(prefs.innerRingMetric(), RingMetric::swapUsed);
    EXPECT_EQ(prefs.numberMetric(), NumberMetric::none);
    EXPECT_EQ(prefs.outerRingMetric(), RingMetric::cpuTotal);
    const QList<std::pair<QString, QString>> written = {{"innerRingColor", "purple"},
                                                        {"innerRingMetric", "Swap Used"},
                                                        {"numberMetric", "None"},
                                                        {"outerRingMetric", "CPU Total"}};
    EXPECT_EQ(store.writes, written);

    // A change made elsewhere shows in the form.
    prefs.setOuterRingColor("green");
    EXPECT_EQ(shown("outerRingColor"), "Green");
}

TEST_F(SettingsForm, LaunchAtLoginStaysOnWhenRegistrationFails) {
    loginItem.registerError = "permission denied";
    open();
    QQuickItem* toggle = row("launchAtLogin");
    ASSERT_NE(toggle, nullptr);
    const std::string out = printedBy([&] {
        toggle->setProperty("checked", true);
        QMetaObject::invokeMethod(toggle, "toggled");
    });
    EXPECT_EQ(out, "Failed to update launch at login status: permission denied\n");
    EXPECT_TRUE(prefs.launchAtLogin());
    EXPECT_TRUE(toggle->property("checked").toBool());
    EXPECT_EQ(loginItem.registerCalls, 1);
}
