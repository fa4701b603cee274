#include "ShellFixture.h"
#include "app/TrayController.h"
#include "model/MetricCatalogue.h"

using namespace orb;
using orb::testing::ShellFixture;

using TrayLabel = ShellFixture;

TEST_F(TrayLabel, RebuildsOncePerTurnOfTheEventLoopHoweverManyFieldsChange) {
    TrayController tray(monitor, prefs);
    QCoreApplication::processEvents();
    const int before = tray.rebuildCount();
    for (int i = 0; i < 20; ++i) {
        monitor.setCpuUsage(i / 100.0);
        monitor.setMemoryUsed(i * 1e6);
        monitor.setDownloadSpeed(QStringLiteral("%1 KB/s").arg(i));
    }
    EXPECT_EQ(tray.rebuildCount(), before); // nothing drawn while the changes come in
    QCoreApplication::processEvents();
    EXPECT_EQ(std::pair(tray.rebuildCount(), tray.toolTip()),
              std::pair(before + 1, QString("Download: 19 KB/s")));
}

// The tests run without a session bus (see CMakeLists.txt), so no panel takes the item.
TEST_F(TrayLabel, WithoutAWatcherTheX11TrayShowsTheNumberAsASecondIconAndFollowsTheSettings) {
    monitor.setCpuUsage(0.5);
    TrayController tray(monitor, prefs);
    ASSERT_TRUE(waitFor([&] { return tray.showsNumberItem(); }));
    EXPECT_EQ(tray.host(), TrayController::Host::systemTray);
    const QImage pinkRings = tray.label().rings.value();

    // Settings show without waiting for a sample.
    prefs.setOuterRingColor("green");
    prefs.setNumberMetric(NumberMetric::none);
    QCoreApplication::processEvents();
    EXPECT_NE(tray.label().rings.value_or(pinkRings), pinkRings);
    EXPECT_FALSE(tray.showsNumberItem());
    prefs.setNumberMetric(NumberMetric::cpuTotal);
    QCoreApplication::processEvents();
    EXPECT_TRUE(tray.showsNumberItem());
}

TEST(TrayHost, OnlyTheGnomeAndUnityHostsDrawTheLabel) {
    for (const char* desktop : {"ubuntu:GNOME", "unity"})
        EXPECT_TRUE(TrayController::hostDrawsLabel(desktop)) << desktop;
    for (const char* desktop : {"", "KDE", "GNOME-Flashback-ish"})
        EXPECT_FALSE(TrayController::hostDrawsLabel(desktop)) << desktop;
}
