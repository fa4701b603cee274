#include "ShellFixture.h"
#include "app/DBusMenu.h"
#include "app/DetailWindows.h"
#include "app/Popover.h"
#include "app/Shell.h"
#include "app/WindowPositioner.h"
#include "model/MetricCatalogue.h"

#include <QDBusMetaType>

using namespace orb;
using orb::testing::ShellFixture;

namespace {

struct ShellWindows : ShellFixture {
    Shell shell{monitor, prefs};
    DetailWindows& details = shell.detailWindows();
    const QRect trayItem{600, 0, 24, 24};
};

struct SettingsForm : ShellFixture {
    std::unique_ptr<Shell> shell;

    void open() { // through the popover's gear, from the preferences the test has set
        shell = std::make_unique<Shell>(monitor, prefs);
        shell->togglePopover(QRect(600, 0, 24, 24));
        QMetaObject::invokeMethod(item(shell->popover().window(), "settingsButton"), "clicked");
        page = shell->settingsWindow();
        ASSERT_TRUE(page && page->rootObject()) << "the settings page did not load";
    }
    QObject* picker(const char* name) { return find(name)->property("picker").value<QObject*>(); }
    QString current(const char* name) { return picker(name)->property("currentText").toString(); }
    void choose(const char* name, int index) {
        picker(name)->setProperty("currentIndex", index);
        QMetaObject::invokeMethod(picker(name), "activated", Q_ARG(int, index));
    }
};

} // namespace

TEST_F(ShellWindows, DetailWindowsAreOnePerAreaAndTrackTheActiveOneAndCardsToggleThem) {
    shell.openDetails("GPU");
    QQuickView* gpu = details.window("GPU");
    ASSERT_NE(item(gpu, "detailTitle"), nullptr) << "the detail page did not load";
    EXPECT_EQ(monitor.activeWindow(), "GPU");
    shell.openDetails("GPU"); // raised, not opened a second time
    EXPECT_EQ(std::pair(details.count(), details.window("GPU")), std::pair(1, gpu));

    // Without a value: the processor page, and no area is active.
    shell.openDetails(QString());
    ASSERT_NE(details.window(QString()), nullptr);
    EXPECT_EQ(details.window(QString())->title(), "CPU");
    EXPECT_TRUE(monitor.activeWindow().isEmpty());

    // Closing a window clears the active area, so the next card click opens it again.
    shell.openDetails("Memory");
    details.window("Memory")->close();
    EXPECT_TRUE(waitFor([&] { return details.window("Memory") == nullptr; }));
    EXPECT_TRUE(monitor.activeWindow().isEmpty());

    // A card's toggle closes the windows when its area is the active one.
    shell.toggleDetails("Network");
    shell.toggleDetails("Network");
    EXPECT_TRUE(monitor.activeWindow().isEmpty());
    EXPECT_TRUE(waitFor([&] { return details.count() == 0; }));
    shell.toggleDetails("Disk"); // another card while one is active opens its own window
    shell.toggleDetails("CPU");
    EXPECT_EQ(std::pair(monitor.activeWindow(), details.count()), std::pair(QString("CPU"), 2));
}

TEST(WindowPlacement, PopoverOpensAgainstThePanelEdgeCentredOnTheTrayItem) {
    const QRect screen(0, 0, 1280, 800), belowTopBar(0, 28, 1280, 772), tall(0, 0, 1280, 2000),
        short_(0, 0, 1366, 700);
    const struct {
        QRect anchor, geometry, available;
        QPoint origin;
    } cases[] = {
        // The work area shows the panel: its edge, from the icon or from a click point alike.
        {QRect(600, 2, 24, 24), screen, belowTopBar, {442, 28}},
        {QRect(612, 14, 0, 0), screen, belowTopBar, {442, 28}},
        {QRect(1270, 786, 0, 0), screen, QRect(0, 0, 1280, 772), {940, 22}}, // bottom, kept on
        {QRect(20, 400, 0, 0), screen, QRect(48, 0, 1232, 800), {48, 25}},   // a left panel
        // No reserved area: as far past the anchor as it is from the edge, and a small gap.
        {QRect(600, 0, 24, 24), screen, screen, {442, 28}},
        {QRect(1340, 0, 24, 24), short_, short_, {1026, 28}}, // runs past the bottom instead
        {QRect(10, 1988, 0, 0), tall, tall, {0, 1222}},
        {QRect(612, 300, 0, 0), tall, tall, {442, 368}}, // the pointer off any panel
    };
    for (const auto& c : cases)
        EXPECT_EQ(popoverOrigin(c.anchor, c.geometry, c.available, QSize(340, 750)), c.origin)
            << c.anchor.x() << "," << c.anchor.y();
    // The detail window: left, centred up and down, not clamped to the usable area.
    EXPECT_EQ(detailWindowOrigin(QRectF(0, 25, 800, 575), QRectF(0, 0, 600, 700)),
              QPointF(50, -37.5));
}

TEST(WindowPlacement, AHostsClickPositionIsTrustedOnlyOnAPanelNearThePointer) {
    const QRect screen(0, 0, 1280, 800), belowTopBar(0, 28, 1280, 772);
    const QPoint atIcon(1250, 14);
    // A position in the strip a panel reserves, with the pointer on it or unknown (XWayland).
    EXPECT_TRUE(isTrayItemPosition(atIcon, QPoint(1252, 12), screen, belowTopBar));
    EXPECT_TRUE(isTrayItemPosition(atIcon, std::nullopt, screen, belowTopBar));
    // Nothing reserved: near an edge will do.
    EXPECT_TRUE(isTrayItemPosition(QPoint(1250, 790), std::nullopt, screen, screen));
    // A position relative to the host's own widget (MATE sends (0, 25)): on the panel's strip,
    // but far from the pointer on the icon.
    EXPECT_FALSE(isTrayItemPosition(QPoint(0, 25), QPoint(1250, 14), screen, belowTopBar));
    // Off any panel, or off the screen.
    EXPECT_FALSE(isTrayItemPosition(QPoint(640, 400), std::nullopt, screen, screen));
    EXPECT_FALSE(isTrayItemPosition(QPoint(640, 400), std::nullopt, screen, belowTopBar));
    EXPECT_FALSE(isTrayItemPosition(QPoint(-5, 14), std::nullopt, screen, belowTopBar));
}

TEST(TrayMenu, OffersOpenSettingsAndQuitAndAnswersPartialRequests) {
    using orb::DBusMenu;
    const DBusMenuLayout whole = DBusMenu::layout(DBusMenu::root, -1, {});
    QStringList labels;
    for (const QDBusVariant& child : whole.children) {
        const auto item = qdbus_cast<DBusMenuLayout>(child.variant());
        labels << item.properties.value("label").toString();
    }
    EXPECT_EQ(whole.properties.value("children-display").toString(), "submenu");
    EXPECT_EQ(labels, (QStringList{"Open Orbimeter", "Settings…", "", "Quit Orbimeter"}));
    EXPECT_EQ(DBusMenu::properties(DBusMenu::separator).value("type").toString(), "separator");
    // Depth 0: the root alone; only the properties asked for; an unknown item has none.
    EXPECT_TRUE(DBusMenu::layout(DBusMenu::root, 0, {}).children.isEmpty());
    EXPECT_EQ(DBusMenu::properties(DBusMenu::quit, {"label"}).keys(), QStringList{"label"});
    EXPECT_TRUE(DBusMenu::properties(99).isEmpty());
    EXPECT_TRUE(DBusMenu::layout(99, -1, {}).children.isEmpty());
}

TEST_F(ShellWindows, PositioningADetailWindowMovesTheFirstWhoseTitleMatchesAndLogsIt) {
    shell.openDetails("CPU");
    shell.openDetails("GPU");
    std::string out = printedBy([] { positionWindow("PU"); });
    EXPECT_NE(out.find("Debug: Found target window 'CPU'. Moving...\n"), std::string::npos) << out;
    out = printedBy([] { positionWindow("Battery"); });
    EXPECT_NE(out.find("Debug: Could not find window with title 'Battery'\n"), std::string::npos);
    EXPECT_EQ(out.find("Moving"), std::string::npos) << out;
}

TEST_F(ShellWindows, PopoverClosesWhenItLosesTheFocusAndTheClickThatTookItStaysClosed) {
    shell.togglePopover(trayItem);
    ASSERT_NE(item(shell.popover().window(), "appName"), nullptr) << "the popover did not load";
    ASSERT_TRUE(waitFor([&] { return shell.popover().window()->isActive(); }))
        << "the popover never got the focus";
    QWindow elsewhere;
    elsewhere.resize(100, 100);
    elsewhere.show();
    elsewhere.requestActivate();
    EXPECT_TRUE(waitFor([&] { return !shell.popover().isOpen(); }));
    // Hidden, it keeps no cards to update.
    const QQuickItem* cards = item(shell.popover().window(), "cardsLoader");
    EXPECT_EQ(cards->property("item").value<QObject*>(), nullptr);
    // The click on the tray item that took the focus away does not reopen it at once.
    shell.togglePopover(trayItem);
    EXPECT_FALSE(shell.popover().isOpen());
    shell.togglePopover(trayItem);
    EXPECT_TRUE(shell.popover().isOpen());
    EXPECT_NE(cards->property("item").value<QObject*>(), nullptr);
}

TEST_F(SettingsForm, ListsShowTheCurrentChoiceInViewAndTheSwitchLinesUpWithThem) {
    prefs.setInnerRingColor("purple");
    prefs.setNumberMetric(NumberMetric::uptime);
    open();
    EXPECT_FALSE(shell->popover().isOpen());
    EXPECT_EQ(current("numberMetric") + " " + current("innerRingColor"), "Uptime Purple");

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
    auto* indicator = find("launchAtLogin")->property("indicator").value<QQuickItem*>();
    EXPECT_EQ(indicator->mapToScene({0, 0}).x(), find("outerRingMetric")->mapToScene({0, 0}).x());
}

TEST_F(SettingsForm, EveryChoiceTakesEffectAtOnceAndColourPickersShowOnlyWhileTheirRingIs) {
    prefs.setOuterRingMetric(RingMetric::none);
    prefs.setInnerRingColor("magenta");
    loginItem.registerError = "permission denied";
    open();
    EXPECT_FALSE(shown("outerRingColor"));
    // A colour outside the list selects nothing, and stays as it is.
    EXPECT_EQ(picker("innerRingColor")->property("currentIndex").toInt(), -1);

    store.writes.clear();
    choose("outerRingMetric", 1);
    EXPECT_TRUE(shown("outerRingColor"));
    EXPECT_EQ(current("outerRingColor"), "Pink");
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
    EXPECT_EQ(current("outerRingColor"), "Green");

    // The toggle stays on when the login item cannot be registered, and says why once.
    QQuickItem* toggle = find("launchAtLogin");
    EXPECT_EQ(printedBy([&] {
                  toggle->setProperty("checked", true);
                  QMetaObject::invokeMethod(toggle, "toggled");
              }),
              "Failed to update launch at login status: permission denied\n");
    EXPECT_TRUE(prefs.launchAtLogin() && toggle->property("checked").toBool());
    EXPECT_EQ(loginItem.registerCalls, 1);
}
