#include "ShellFixture.h"
#include "app/Popover.h"
#include "app/Shell.h"
#include "views/BarCharts.h"
#include "views/RingGauge.h"

using namespace orb;
using orb::testing::process;
using orb::testing::ShellFixture;
using orb::testing::Texts;

namespace {

// The popover open on a monitor fed by the fakes; each test sets the fields its card reads.
struct StatsView : ShellFixture {
    Shell shell{monitor, prefs};

    void SetUp() override {
        shell.popover().open(QRect(600, 0, 24, 24));
        page = shell.popover().window();
        ASSERT_NE(item(page, "cards"), nullptr) << "the cards did not load";
    }
    // A figure's number, over its caption.
    std::string figure(const char* name) {
        const QQuickItem* number = find(name)->findChild<QQuickItem*>("figure");
        return number->property("text").toString().toStdString();
    }
    double ring(const char* name) {
        return find(name)->findChild<RingGauge*>("gauge")->drawnFraction();
    }
};

} // namespace

TEST_F(StatsView, FiguresNeitherRoundUpNorClampTheRingsDoAndEmptyOnesHide) {
    monitor.setCpuUser(0.456); // shares truncate and may pass 100 %
    monitor.setCpuSystem(0.999);
    monitor.setTopCPUProcesses({process("proc0", 1, 0, 0, 12.25), process("proc1", 1, 0, 0, 24.5),
                                process("proc2", 1, 0, 0, 36.75), process("proc3", 1, 0, 0, 49)});
    monitor.setGpuUsage(1.5);
    monitor.setGpuMemoryUsed(3 * 1024 * 1024);
    monitor.setMemoryPressure(1.5);
    monitor.setMemoryUsed(1536);
    monitor.setMemoryTotal(1024);
    monitor.setDiskReadBytesPerSec(1536);
    EXPECT_EQ(text("cpuUser") + " " + text("cpuSystem"), "User 45% System 99%");
    for (const auto& [name, shows] : {std::pair("gpuDevice", "150%"),
                                      {"gpuVram", "3.0 MB"},
                                      {"usage", "150%"},
                                      {"diskRead", "1.5 KB/s"}})
        EXPECT_EQ(figure(name), shows) << name;
    // A share the machine does not measure is no 0 %.
    monitor.setMeasured({"gpuUsage", "gpuRendererUtil", "gpuTilerUtil"}, false);
    for (const char* name : {"gpuDevice", "gpuRenderer", "gpuTiler"})
        EXPECT_EQ(figure(name), "—") << name;
    // The rings clamp what they draw, not the figures; free memory may read below zero.
    EXPECT_DOUBLE_EQ(ring("pressureRing"), 1.0);
    EXPECT_EQ(text("memoryApp", "value") + ", " + text("memoryFree", "value"), "1.5 KB, -512 B");
    // At most three processes, their shares as printf rounds them (to even).
    EXPECT_EQ(rows("cpuProcesses"), Texts({"proc0 12.2%", "proc1 24.5%", "proc2 36.8%"}));

    monitor.setTopCPUProcesses({});
    monitor.setGpuMemoryUsed(0);
    monitor.setMemoryPressure(0.25);
    monitor.setMemoryUsed(512);
    EXPECT_FALSE(shown("cpuProcesses") || shown("gpuVram"));
    EXPECT_DOUBLE_EQ(ring("pressureRing"), 0.25);
    EXPECT_DOUBLE_EQ(ring("usageRing"), 0.5);
    monitor.setMemoryTotal(0); // no total: no share
    EXPECT_EQ(figure("usage"), "0%");

    // One list of a pair updated before the other: the chart draws, and the zero line splits
    // the height by the largest sample of each side.
    monitor.setDownloadHistory({1, 2, 3, 4});
    monitor.setUploadHistory({1});
    monitor.setDiskReadHistory({});
    monitor.setDiskWriteHistory({5, 5});
    EXPECT_FALSE(page->grabWindow().isNull());
    EXPECT_DOUBLE_EQ(MirroredBarChart::zeroLine({1, 3}, {1, 1}, 60), 45);
    EXPECT_DOUBLE_EQ(MirroredBarChart::zeroLine({1, 3}, {9}, 60), 15);
    EXPECT_DOUBLE_EQ(MirroredBarChart::zeroLine({0}, {}, 60), 30);
}

TEST_F(StatsView, BatteryCardPrefersTheDrawLineAndNamesAMissingAdapter) {
    // The header, the charging bolt, the flow, the adapter and the cycles; "-" where hidden.
    const auto seen = [&] {
        return text("batteryHeader", "rightText") + " | " + (shown("chargingBolt") ? "bolt" : "-") +
               " | " + (shown("powerFlow") ? text("powerFlow") : "-") + " | " + text("adapter") +
               " | " + (shown("cycles") ? text("cycles") : "-");
    };
    const struct {
        bool charging, plugged;
        const char *toFull, *remaining;
        double draw, charge;
        int adapter, cycles;
        const char* shows;
    } cases[] = {
        {false, false, "", "", 0, 0, 0, 0, " | - | - | No AC adapter | -"},
        {true, true, "1:05", "3:10", 2.25, 12.0, 96, 412,
         "1:05 | bolt | 2.2 W from battery | 96 W adapter | 412 cycles"},
        {true, false, "", "3:10", 0, 12.34, 0, 0,
         "3:10 | bolt | 12.3 W to battery | No AC adapter | -"},
        // Plugged in to an adapter that does not tell its rating.
        {true, true, "", "3:10", 0, 12.34, 0, 0,
         "3:10 | bolt | 12.3 W to battery | — W adapter | -"},
    };
    for (const auto& c : cases) {
        monitor.setIsCharging(c.charging);
        monitor.setBatteryACConnected(c.plugged);
        monitor.setBatteryTimeToFull(c.toFull);
        monitor.setTimeRemaining(c.remaining);
        monitor.setBatteryDrawWatts(c.draw);
        monitor.setBatteryChargeWatts(c.charge);
        monitor.setAdapterWatts(c.adapter);
        monitor.setBatteryCycleCount(c.cycles);
        EXPECT_EQ(seen(), c.shows);
    }
    // Only the plug symbol is tinted: the adapter text stays secondary.
    EXPECT_EQ(colour("adapter"), "grey");
    monitor.setBatteryLevel(0.456);
    EXPECT_EQ(text("batteryLevel"), "45%");
    // A machine without a battery says nothing of one, nor of its adapter.
    monitor.setIsCharging(false);
    monitor.setBatteryChargeWatts(0);
    monitor.setMeasured({"batteryLevel", "timeRemaining", "batteryACConnected", "adapterWatts"},
                        false);
    EXPECT_EQ(text("batteryLevel") + " " + seen(), "— — | - | - | — | -");
}

TEST_F(StatsView, SensorsCardListsByLabelAndGivesWayToTheThermalCardWhenEmpty) {
    monitor.setSensors({});
    for (const auto& [state, tint] :
         {std::pair("Nominal", "green"), {"Critical", "red"}, {"Fair", "yellow"}}) {
        monitor.setThermalState(state);
        EXPECT_TRUE(shown("thermalCard"));
        EXPECT_EQ(colour("thermalState"), tint) << state;
    }

    monitor.setSensors({{"b GPU", 40.4}, {"A CPU", 50.6}, {"a Disk", 31.5}});
    EXPECT_EQ(rows("sensorsCard", "sensorRows", "label", "temp"),
              Texts({"A CPU 51°", "a Disk 32°", "b GPU 40°"}));
}
