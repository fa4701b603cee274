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
    ASSERT_NE(item(gpu, "detailTitle"), nullptr) << "the detail page did not load";
    EXPECT_EQ(monitor.activeWindow(), "GPU");
    shell.openDetails("GPU"); // raised, not opened a second time
    EXPECT_EQ(details.count(), 1);
    EXPECT_EQ(details.window("GPU"), gpu);

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
    EXPECT_EQ(monitor.activeWindow(), "CPU");
    EXPECT_EQ(details.count(), 2);
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
    // The click on the tray item that took the focus away does not reopen it at once.
    shell.togglePopover(trayItem);
    EXPECT_FALSE(shell.popover().isOpen());
    shell.togglePopover(trayItem);
    EXPECT_TRUE(shell.popover().isOpen());
}
