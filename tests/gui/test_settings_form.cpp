#include "ShellFixture.h"
#include "app/Popover.h"
#include "app/Shell.h"
#include "model/MetricCatalogue.h"

using namespace orb;
using orb::testing::ShellFixture;

namespace {

struct SettingsForm : ShellFixture {
    std::unique_ptr<Shell> shell;
    QQuickView* window = nullptr;

    void open() { // through the popover's gear, from the preferences the test has set
        shell = std::make_unique<Shell>(monitor, prefs);
        shell->togglePopover(QRect(600, 0, 24, 24));
        QMetaObject::invokeMethod(item(shell->popover().window(), "settingsButton"), "clicked");
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

TEST_F(SettingsForm, ListsShowTheCurrentChoiceInViewAndTheSwitchLinesUpWithThem) {
    prefs.setInnerRingColor("purple");
    prefs.setNumberMetric(NumberMetric::uptime);
    open();
    EXPECT_FALSE(shell->popover().isOpen());
    EXPECT_EQ(shown("outerRingMetric"), "CPU Total");
    EXPECT_EQ(shown("numberMetric"), "Uptime");
    EXPECT_EQ(shown("innerRingColor"), "Purple");

    // Long lists show their scroll bar and open at the top, or down to the chosen "Uptime".
    const auto inView = [](QQuickItem* list, int index) {
        QQuickItem* entry = nullptr;
        QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem*, entry),
                                  Q_ARG(int, index));
        const qreal top = list->property("contentY").toReal();
        return entry && entry->y() >= top && entry->y() + entry->height() <= top + list->height();
    };
    for (const char* name : {"outerRingMetric", "numberMetric"}) {
        SCOPED_TRACE(name);
        auto* popup = picker(name)->property("popup").value<QObject*>();
        QMetaObject::invokeMethod(popup, "open");
        ASSERT_TRUE(waitFor([&] { return popup->property("opened").toBool(); }));
        auto* list = popup->property("contentItem").value<QQuickItem*>();
        const int chosen = picker(name)->property("currentIndex").toInt();
        EXPECT_TRUE(inView(list, chosen)) << chosen;
        EXPECT_EQ(inView(list, 0), chosen == 1) << "the list starts at its top when it can";
        auto* scrollBar = list->findChild<QQuickItem*>("entriesScrollBar");
        EXPECT_TRUE(scrollBar && scrollBar->isVisible());
        QMetaObject::invokeMethod(popup, "close");
    }
    // The switch starts where the labels do.
    auto* indicator = row("launchAtLogin")->property("indicator").value<QQuickItem*>();
    EXPECT_EQ(indicator->mapToScene({0, 0}).x(), row("outerRingMetric")->mapToScene({0, 0}).x());
}

TEST_F(SettingsForm, EveryChoiceTakesEffectAtOnceAndColourPickersShowOnlyWhileTheirRingIs) {
    prefs.setOuterRingMetric(RingMetric::none);
    prefs.setInnerRingColor("magenta");
    loginItem.registerError = "permission denied";
    open();
    EXPECT_FALSE(row("outerRingColor")->isVisible());
    // A colour outside the list selects nothing, and stays as it is.
    EXPECT_EQ(picker("innerRingColor")->property("currentIndex").toInt(), -1);

    store.writes.clear();
    choose("outerRingMetric", 1);
    EXPECT_TRUE(row("outerRingColor")->isVisible());
    EXPECT_EQ(shown("outerRingColor"), "Pink");
    choose("innerRingColor", 6);
    choose("innerRingMetric", 16);
    choose("numberMetric", 0);
    const QList<std::pair<QString, QString>> written = {{"outerRingMetric", "CPU Total"},
                                                        {"innerRingColor", "purple"},
                                                        {"innerRingMetric", "Swap Used"},
                                                        {"numberMetric", "None"}};
    EXPECT_EQ(store.writes, written);

    // A change made elsewhere shows in the form.
    prefs.setOuterRingColor("green");
    EXPECT_EQ(shown("outerRingColor"), "Green");

    // The toggle stays on when the login item cannot be registered, and says why once.
    QQuickItem* toggle = row("launchAtLogin");
    EXPECT_EQ(printedBy([&] {
                  toggle->setProperty("checked", true);
                  QMetaObject::invokeMethod(toggle, "toggled");
              }),
              "Failed to update launch at login status: permission denied\n");
    EXPECT_TRUE(prefs.launchAtLogin() && toggle->property("checked").toBool());
    EXPECT_EQ(loginItem.registerCalls, 1);
}
