#include "ShellFixture.h"
#include "app/DetailWindows.h"
#include "app/Popover.h"
#include "app/Shell.h"
#include "app/WindowPositioner.h"

using namespace orb;
using orb::testing::ShellFixture;

namespace {

struct ShellWindows : ShellFixture {
    Shell shell{monitor, prefs};
    DetailWindows& details = shell.detailWindows();
    const QRect trayItem{600, 0, 24, 24};
};

} // namespace

TEST_F(ShellWindows, DetailWindowsAreOnePerAreaAndTrackTheActiveOneAndCardsToggleThem) {
    shell.openDetails("GPU");
    QQuickView* gpu = details.window("GPU");
    ASSERT_NE(gpu, nullptr);
    EXPECT_EQ(gpu->title(), "GPU");
    EXPECT_EQ(gpu->minimumSize(), QSize(600, 600));
    EXPECT_EQ(monitor.activeWindow(), "GPU");
    ASSERT_NE(item(gpu, "detailTitle"), nullptr) << "the detail page did not load";
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
    details.window("Memory")->close();
    EXPECT_TRUE(waitFor([&] { return details.window("Memory") == nullptr; }));
    EXPECT_TRUE(monitor.activeWindow().isEmpty());

    // A card's toggle closes the windows when its area is the active one.
    shell.toggleDetails("Network");
    EXPECT_EQ(monitor.activeWindow(), "Network");
    shell.toggleDetails("Network");
    EXPECT_TRUE(monitor.activeWindow().isEmpty());
    EXPECT_TRUE(waitFor([&] { return details.count() == 0; }));
    shell.toggleDetails("Disk"); // another card while one is active opens its own window
    shell.toggleDetails("CPU");
    EXPECT_EQ(monitor.activeWindow(), "CPU");
    EXPECT_EQ(details.count(), 2);
}

TEST(WindowPlacement, PopoverOpensAgainstThePanelEdgeCentredOnTheTrayItem) {
    const QRect screen(0, 0, 1280, 800), belowTopBar(0, 28, 1280, 772), tall(0, 0, 1280, 2000);
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
        {QRect(612, 12, 0, 0), screen, screen, {442, 28}},
        {QRect(10, 1988, 0, 0), tall, tall, {0, 1222}},
        {QRect(612, 300, 0, 0), tall, tall, {442, 368}}, // the pointer off any panel
    };
    for (const auto& c : cases)
        EXPECT_EQ(popoverOrigin(c.anchor, c.geometry, c.available, QSize(340, 750)), c.origin)
            << c.anchor.x() << "," << c.anchor.y();
}

TEST_F(ShellWindows, DetailWindowIsPlacedLeftAndCentredVerticallyAndLogsEachStep) {
    EXPECT_EQ(detailWindowOrigin(QRectF(0, 0, 1440, 875), QRectF(300, 300, 700, 700)),
              QPointF(50, 87.5));
    // Not clamped: a window taller than the usable area extends past it.
    EXPECT_EQ(detailWindowOrigin(QRectF(0, 25, 800, 575), QRectF(0, 0, 600, 700)),
              QPointF(50, -37.5));

    // Titles match by substring; the first window found is moved.
    shell.openDetails("CPU");
    shell.openDetails("GPU");
    std::string out = printedBy([] { positionWindow("PU"); });
    for (const char* line :
         {"Debug: Attempting to position window 'PU'\n", "Debug: Found window: 'CPU' frame: (",
          "Debug: Found target window 'CPU'. Moving...\n", "Debug: Moved to (50, "})
        EXPECT_NE(out.find(line), std::string::npos) << line << " in " << out;

    out = printedBy([] { positionWindow("Battery"); });
    EXPECT_NE(out.find("Debug: Could not find window with title 'Battery'\n"), std::string::npos);
    EXPECT_EQ(out.find("Moving"), std::string::npos) << out;
}

TEST_F(ShellWindows, PopoverIsAFixedFramelessPanelThatClosesOnAClickOrWhenItLosesTheFocus) {
    shell.togglePopover(trayItem);
    ASSERT_TRUE(shell.popover().isOpen());
    QQuickView* view = shell.popover().window();
    EXPECT_EQ(view->size(), QSize(340, 750));
    EXPECT_EQ(view->minimumSize(), view->maximumSize());
    EXPECT_TRUE(view->flags() & Qt::FramelessWindowHint);
    ASSERT_NE(item(view, "appName"), nullptr) << "the popover page did not load";
    EXPECT_EQ(item(view, "appName")->property("text").toString(), "Orbimeter");
    shell.togglePopover(trayItem);
    EXPECT_FALSE(shell.popover().isOpen());

    shell.togglePopover(trayItem);
    ASSERT_TRUE(waitFor([&] { return view->isActive(); })) << "the popover never got the focus";
    QWindow elsewhere;
    elsewhere.resize(100, 100);
    elsewhere.show();
    elsewhere.requestActivate();
    EXPECT_TRUE(waitFor([&] { return !shell.popover().isOpen(); }));
    // The click on the tray item that took the focus away does not reopen it at once.
    shell.togglePopover(trayItem);
    EXPECT_FALSE(shell.popover().isOpen());
    shell.togglePopover(trayItem);
    EXPECT_TRUE(shell.popover().isOpen());
}
