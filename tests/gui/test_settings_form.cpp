#include "ShellFixture.h"
#include "app/Shell.h"
#include "model/MetricCatalogue.h"

using namespace orb;
using orb::testing::ShellFixture;

namespace {

struct SettingsForm : ShellFixture {
    std::unique_ptr<Shell> shell;
    QQuickView* window = nullptr;

    void open() {
        shell = std::make_unique<Shell>(monitor, prefs);
        shell->openSettings();
        window = shell->settingsWindow();
        ASSERT_NE(window, nullptr);
        ASSERT_NE(window->rootObject(), nullptr) << "the settings page did not load";
    }
    QQuickItem* row(const char* name) { return item(window, name); }
    QObject* picker(const char* name) {
        QQuickItem* r = row(name);
        return r ? r->property("picker").value<QObject*>() : nullptr;
    }
    void choose(const char* name, int index) {
        QObject* combo = picker(name);
        ASSERT_NE(combo, nullptr) << name;
        combo->setProperty("currentIndex", index);
        QMetaObject::invokeMethod(combo, "activated", Q_ARG(int, index));
    }
};

} // namespace

TEST_F(SettingsForm, PickersListEveryChoiceInOrderAndShowTheCurrentOne) {
    store.values["innerRingColor"] = "purple";
    store.values["numberMetric"] = "Uptime";
    Preferences loaded(store, loginItem);
    prefs.setInnerRingColor("purple");
    prefs.setNumberMetric(NumberMetric::uptime);
    open();

    EXPECT_EQ(picker("outerRingMetric")->property("count").toInt(), 19);
    EXPECT_EQ(picker("innerRingMetric")->property("count").toInt(), 19);
    EXPECT_EQ(picker("numberMetric")->property("count").toInt(), 63);
    EXPECT_EQ(picker("outerRingColor")->property("count").toInt(), 8);
    EXPECT_EQ(picker("outerRingMetric")->property("currentText").toString(), "CPU Total");
    EXPECT_EQ(picker("numberMetric")->property("currentText").toString(), "Uptime");
    EXPECT_EQ(picker("innerRingColor")->property("currentText").toString(), "Purple");
    EXPECT_EQ(picker("outerRingColor")->property("currentText").toString(), "Pink");
    ASSERT_NE(row("launchAtLogin"), nullptr);
    EXPECT_FALSE(row("launchAtLogin")->property("checked").toBool());
}

TEST_F(SettingsForm, ColourPickersShowOnlyWhileTheirRingIsShown) {
    prefs.setOuterRingMetric(RingMetric::none);
    open();
    EXPECT_FALSE(row("outerRingColor")->isVisible());
    EXPECT_TRUE(row("innerRingColor")->isVisible());

    choose("outerRingMetric", 1); // "CPU Total"
    EXPECT_EQ(prefs.outerRingMetric(), RingMetric::cpuTotal);
    EXPECT_TRUE(row("outerRingColor")->isVisible());
    EXPECT_EQ(picker("outerRingColor")->property("currentText").toString(), "Pink");
}

TEST_F(SettingsForm, AColourOutsideTheListSelectsNothing) {
    prefs.setInnerRingColor("magenta");
    open();
    EXPECT_EQ(picker("innerRingColor")->property("currentIndex").toInt(), -1);
    EXPECT_EQ(prefs.innerRingColor(), "magenta");
}

TEST_F(SettingsForm, EveryChoiceIsStoredAtOnce) {
    open();
    store.writes.clear();
    choose("innerRingColor", 6);
    EXPECT_EQ(prefs.innerRingColor(), "purple");
    choose("innerRingMetric", 16);
    EXPECT_EQ(prefs.innerRingMetric(), RingMetric::swapUsed);
    choose("numberMetric", 0);
    EXPECT_EQ(prefs.numberMetric(), NumberMetric::none);
    ASSERT_EQ(store.writes.size(), 3);
    EXPECT_EQ(store.writes[0], std::make_pair(QString("innerRingColor"), QString("purple")));
    EXPECT_EQ(store.writes[1], std::make_pair(QString("innerRingMetric"), QString("Swap Used")));
    EXPECT_EQ(store.writes[2], std::make_pair(QString("numberMetric"), QString("None")));

    // A change made elsewhere shows in the form.
    prefs.setOuterRingColor("green");
    EXPECT_EQ(picker("outerRingColor")->property("currentText").toString(), "Green");
}

TEST_F(SettingsForm, LaunchAtLoginStaysOnWhenRegistrationFails) {
    loginItem.registerError = "permission denied";
    open();
    QQuickItem* toggle = row("launchAtLogin");
    ASSERT_NE(toggle, nullptr);
    ::testing::internal::CaptureStdout();
    toggle->setProperty("checked", true);
    QMetaObject::invokeMethod(toggle, "toggled");
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(prefs.launchAtLogin());
    EXPECT_TRUE(toggle->property("checked").toBool());
    EXPECT_EQ(loginItem.registerCalls, 1);
    EXPECT_EQ(out, "Failed to update launch at login status: permission denied\n");
}
