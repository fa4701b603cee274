#include "ShellFixture.h"
#include "app/DetailWindows.h"
#include "app/Popover.h"
#include "app/Shell.h"
#include "app/WindowPositioner.h"

#include <QGuiApplication>

using namespace orb;
using orb::testing::ShellFixture;

using ShellWindows = ShellFixture;

TEST_F(ShellWindows, DetailWindowsAreOnePerAreaAndTrackTheActiveOne) {
    Shell shell(monitor, prefs);
    DetailWindows& details = shell.detailWindows();

    shell.openDetails("GPU");
    QQuickView* gpu = details.window("GPU");
    ASSERT_NE(gpu, nullptr);
    EXPECT_EQ(gpu->title(), "GPU");
    EXPECT_EQ(gpu->minimumSize(), QSize(600, 600));
    EXPECT_EQ(gpu->color(), QColor::fromRgbF(0.1f, 0.1f, 0.2f));
    EXPECT_EQ(monitor.activeWindow(), "GPU");
    ASSERT_NE(item(gpu, "detailTitle"), nullptr);
    EXPECT_EQ(item(gpu, "detailTitle")->property("text").toString(), "GPU");

    // Opening an open area raises its window instead of opening a second one.
    shell.openDetails("GPU");
    EXPECT_EQ(details.count(), 1);
    EXPECT_EQ(details.window("GPU"), gpu);

    // Without a value: the processor page, and no area is active.
    shell.openDetails(QString());
    ASSERT_NE(details.window(QString()), nullptr);
    EXPECT_EQ(details.window(QString())->title(), "CPU");
    EXPECT_TRUE(monitor.activeWindow().isEmpty());
    EXPECT_EQ(details.count(), 2);

    // Closing a window clears the active area, so the next card click opens it again.
    shell.openDetails("Memory");
    EXPECT_EQ(monitor.activeWindow(), "Memory");
    details.window("Memory")->close();
    EXPECT_TRUE(waitFor([&] { return details.window("Memory") == nullptr; }));
    EXPECT_TRUE(monitor.activeWindow().isEmpty());
}

TEST_F(ShellWindows, CardToggleClosesTheActiveAreasWindow) {
    Shell shell(monitor, prefs);
    shell.toggleDetails("Network");
    EXPECT_EQ(monitor.activeWindow(), "Network");
    ASSERT_NE(shell.detailWindows().window("Network"), nullptr);

    shell.toggleDetails("Network");
    EXPECT_TRUE(monitor.activeWindow().isEmpty());
    EXPECT_TRUE(waitFor([&] { return shell.detailWindows().count() == 0; }));

    // Another card while one is active opens its own window.
    shell.toggleDetails("Disk");
    shell.toggleDetails("CPU");
    EXPECT_EQ(monitor.activeWindow(), "CPU");
    EXPECT_EQ(shell.detailWindows().count(), 2);
}

TEST_F(ShellWindows, DetailWindowIsPlacedLeftAndCentredVertically) {
    EXPECT_EQ(detailWindowOrigin(QRectF(0, 0, 1440, 875), QRectF(300, 300, 700, 700)),
              QPointF(50, 87.5));
    // Not clamped: a window taller than the usable area extends past it.
    EXPECT_EQ(detailWindowOrigin(QRectF(0, 25, 800, 575), QRectF(0, 0, 600, 700)),
              QPointF(50, -37.5));
}

TEST_F(ShellWindows, PositioningLogsEveryStepAndMatchesTitlesBySubstring) {
    Shell shell(monitor, prefs);
    shell.openDetails("CPU");
    shell.openDetails("GPU");

    ::testing::internal::CaptureStdout();
    positionWindow("PU");
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Debug: Attempting to position window 'PU'\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Debug: Found window: 'CPU' frame: ("), std::string::npos) << out;
    EXPECT_NE(out.find("Debug: Found target window 'CPU'. Moving...\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Debug: Moved to (50, "), std::string::npos) << out;

    ::testing::internal::CaptureStdout();
    positionWindow("Battery");
    out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Debug: Could not find window with title 'Battery'\n"), std::string::npos)
        << out;
    EXPECT_EQ(out.find("Moving"), std::string::npos);
}

TEST_F(ShellWindows, PopoverIsAFixedFramelessPanelBesideTheTrayItem) {
    Shell shell(monitor, prefs);
    Popover& popover = shell.popover();
    const QRect screen(0, 0, 1280, 800);

    // An item in the top bar: the panel opens below it, centred, kept on screen.
    EXPECT_EQ(Popover::placement(QRect(600, 0, 24, 24), screen), QPoint(442, 28));
    EXPECT_EQ(Popover::placement(QRect(1256, 0, 24, 24), screen), QPoint(940, 28));
    // An item in a bottom panel: the panel opens above it.
    EXPECT_EQ(Popover::placement(QRect(10, 776, 24, 24), QRect(0, 0, 1280, 1000)), QPoint(0, 22));

    shell.togglePopover(QRect(600, 0, 24, 24));
    ASSERT_TRUE(popover.isOpen());
    QQuickView* view = popover.window();
    EXPECT_EQ(view->size(), QSize(340, 750));
    EXPECT_EQ(view->minimumSize(), view->maximumSize());
    EXPECT_TRUE(view->flags() & Qt::FramelessWindowHint);
    EXPECT_EQ(view->color(), QColor::fromRgbF(0.1f, 0.1f, 0.2f));
    ASSERT_NE(item(view, "appName"), nullptr);
    EXPECT_EQ(item(view, "appName")->property("text").toString(), "Orbimeter");
    EXPECT_NE(item(view, "settingsButton"), nullptr);
    EXPECT_NE(item(view, "quitButton"), nullptr);

    shell.togglePopover(QRect(600, 0, 24, 24));
    EXPECT_FALSE(popover.isOpen());
}

TEST_F(ShellWindows, SettingsButtonOpensTheFixedPreferencesWindow) {
    Shell shell(monitor, prefs);
    shell.togglePopover(QRect(600, 0, 24, 24));
    QMetaObject::invokeMethod(item(shell.popover().window(), "settingsButton"), "clicked");
    QQuickView* settings = shell.settingsWindow();
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->title(), "Preferences");
    EXPECT_EQ(settings->size(), QSize(340, 480));
    EXPECT_EQ(settings->minimumSize(), settings->maximumSize());
    EXPECT_TRUE(settings->isVisible());
    EXPECT_FALSE(shell.popover().isOpen());

    // Opening again keeps the one window.
    shell.openSettings();
    EXPECT_EQ(shell.settingsWindow(), settings);
}

TEST_F(ShellWindows, PopoverClosesWhenAnotherWindowTakesTheFocus) {
    Shell shell(monitor, prefs);
    shell.togglePopover(QRect(600, 0, 24, 24));
    QQuickView* view = shell.popover().window();
    ASSERT_TRUE(waitFor([&] { return view->isActive(); })) << "the popover never got the focus";

    QWindow elsewhere;
    elsewhere.resize(100, 100);
    elsewhere.show();
    elsewhere.requestActivate();
    EXPECT_TRUE(waitFor([&] { return !shell.popover().isOpen(); }));

    // The click on the tray item that took the focus away does not reopen it at once.
    shell.togglePopover(QRect(600, 0, 24, 24));
    EXPECT_FALSE(shell.popover().isOpen());
    shell.togglePopover(QRect(600, 0, 24, 24));
    EXPECT_TRUE(shell.popover().isOpen());
}
