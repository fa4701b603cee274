#include "ShellFixture.h"
#include "app/DetailWindows.h"
#include "app/Shell.h"

#include <QFont>

using namespace orb;
using orb::testing::process;
using orb::testing::ShellFixture;
using orb::testing::Texts;

namespace {

// One detail window open on a monitor fed by the fakes; each test sets the fields its page reads.
struct DetailPages : ShellFixture {
    Shell shell{monitor, prefs};

    void open(const QString& area) {
        shell.openDetails(area);
        page = shell.detailWindows().window(area);
        ASSERT_NE(item(page, "detailTitle"), nullptr) << "the detail window did not load";
    }
    std::string value(const char* card) { return text(card, "value"); }
};

} // namespace

TEST_F(DetailPages, AnAreaNameInAnotherCaseShowsOnlyTheTitle) {
    open("cpu");
    EXPECT_EQ(text("detailTitle"), "cpu");
    EXPECT_EQ(find("detailPage")->property("item").value<QQuickItem*>(), nullptr);
}

TEST_F(DetailPages, GraphicsPageFallsBackToGpuAndShowsOnlyTheFiguresItHas) {
    open("GPU");
    const auto seen = [&] {
        return std::tuple(text("gpuModel"), shown("gpuCores"), shown("gpuResets"),
                          value("gpuPowerCard"));
    };
    EXPECT_EQ(seen(), std::tuple("GPU", false, false, "N/A"));
    monitor.setGpuModelName("Radeon RX 7600");
    monitor.setGpuCoreCount(32);
    monitor.setGpuRecoveryCount(2);
    monitor.setGpuPowerWatts(12.345678);
    EXPECT_EQ(seen(), std::tuple("Radeon RX 7600", true, true, "12.35 W"));
}

TEST_F(DetailPages, MemoryPageListsEveryProcessWithItsUnitAndShowsSwapOnlyWhenThereIsSome) {
    monitor.setTopMemoryProcesses(
        {process("Firefox", 3, 1025, 0), process("Xorg", 1, 1024, 0), process("sh", 1, 0.5, 0)});
    open("Memory");
    EXPECT_EQ(rows("memoryProcesses"), Texts({"Firefox 1.00 GB", "Xorg 1024.0 MB", "sh 0.5 MB"}));

    EXPECT_FALSE(shown("swapBlock"));
    for (const auto& [used, tint] : {std::pair(0.5, "orange"), {0.9, "red"}}) {
        monitor.setSwapUsed(used * 1024 * 1024 * 1024);
        monitor.setSwapTotal(1024.0 * 1024 * 1024);
        EXPECT_TRUE(shown("swapBlock"));
        EXPECT_EQ(colour("swapText"), tint);
        EXPECT_DOUBLE_EQ(find("swapBar")->property("fraction").toDouble(), used);
    }
}

TEST_F(DetailPages, BatteryPageOnAMachineWithoutABattery) {
    // Nothing of a battery or its adapter is measured.
    monitor.setMeasured({"batteryLevel", "batteryVoltage", "batteryCurrent", "batteryDrawWatts",
                         "batteryWatts", "batteryMaxCapacity", "batteryDesignCapacity",
                         "batteryACConnected", "adapterWatts", "netSystemWatts", "totalSystemWatts",
                         "timeRemaining"},
                        false);
    open("Battery");
    // Without a battery the machine can only be on external power, and no figure is made up.
    EXPECT_EQ(text("powerSource"), "AC Power");
    for (const char* card : {"netLoadCard", "systemPowerCard", "fromBatteryCard", "fromAdapterCard",
                             "voltageCard", "currentCard", "levelCard"})
        EXPECT_EQ(value(card), "—") << card;
    EXPECT_EQ(colour("fromAdapterCard"), "grey");
    // Tiles side by side take equal shares, whatever their labels.
    EXPECT_NEAR(find("netLoadCard")->width(), find("systemPowerCard")->width(), 1);
    EXPECT_EQ(text("timeCaption") + " " + text("timeValue"), "Time Remaining —");
    for (const char* optional :
         {"temperatureCard", "cycleCard", "healthCard", "maxCapacityCard", "designCapacityCard",
          "chargingCard", "adapterCard", "adapterBlock", "batteryCondition"}) {
        EXPECT_FALSE(shown(optional)) << optional;
    }
}

TEST_F(DetailPages, BatteryPageTellsDrawingBeforeChargingAndColoursItsCardsAtTheirThresholds) {
    monitor.setTimeRemaining("3:20");
    open("Battery");
    const struct {
        double draw, charge, current, celsius, health;
        const char* toFull; // none: not charging
        const char* shows;
    } cases[] = {
        {1.5, 3, -1234.4, 45, 0.8, nullptr,
         "1.50 W draw orange, Draw Current 1234 mA, 45.0 °C orange, 80% yellow, Time Remaining "
         "3:20"},
        {0, 2.25, 500, 35, 0.6, "",
         "2.25 W charging green, Charge Current 500 mA, 35.0 °C green, 60% red, Time to Full "
         "Calculating..."},
        {0, 0, 0, 45.05, 0.85, "1:05",
         "0 W grey, Charge Current 0 mA, 45.0 °C red, 85% green, Time to Full 1:05"},
    };
    for (const auto& c : cases) {
        monitor.setBatteryDrawWatts(c.draw);
        monitor.setBatteryChargeWatts(c.charge);
        monitor.setBatteryCurrent(c.current);
        monitor.setBatteryTemperature(c.celsius);
        monitor.setBatteryHealthPercent(c.health);
        monitor.setIsCharging(c.toFull != nullptr);
        monitor.setBatteryTimeToFull(c.toFull ? c.toFull : "");
        EXPECT_EQ(text("powerFlow") + " " + colour("powerFlow") + ", " +
                      text("currentCard", "label") + " " + value("currentCard") + ", " +
                      value("temperatureCard") + " " + colour("temperatureCard") + ", " +
                      value("healthCard") + " " + colour("healthCard") + ", " +
                      text("timeCaption") + " " + text("timeValue"),
                  c.shows);
        EXPECT_EQ(shown("chargingCard"), c.charge > 0) << c.shows;
    }
    monitor.setBatteryVoltage(12.2);
    EXPECT_EQ(text("powerSource"), "On Battery");
}

TEST_F(DetailPages, BatteryPageShowsTheAdapterAndTheEnergyConsumers) {
    monitor.setTopEnergyProcesses({process("Firefox", 3, 0, 12.34), process("sh", 1, 0, 0.05)});
    monitor.setAdapterWatts(65);
    monitor.setAdapterVoltage(20.2);
    monitor.setAdapterCurrent(3250);
    open("Battery");
    EXPECT_TRUE(shown("adapterBlock"));
    EXPECT_EQ(value("adapterCard"), "65W @ 20V / 3250 mA");
    EXPECT_EQ(value("fromAdapterCard") + " " + colour("fromAdapterCard"), "65 W blue");
    EXPECT_EQ(rows("energyProcesses"), Texts({"Firefox (3) 12.3%", "sh 0.1%"}));
}

TEST_F(DetailPages, SensorsPageListsReadingsByNameOrFallsBackToTheThermalState) {
    monitor.setThermalState("Nominal");
    open("Sensors");
    EXPECT_TRUE(shown("thermalFallback") && !shown("sensorList"));
    EXPECT_EQ(colour("thermalState"), "green");

    monitor.setSensors({{"nvme Composite", 38.25}, {"Package id 0", 51.0}, {"acpitz", 27.8}});
    EXPECT_TRUE(shown("sensorList") && !shown("thermalFallback"));
    EXPECT_EQ(rows("sensorsPage", "rows", "label", "temp"),
              Texts({"Package id 0 51.0°C", "acpitz 27.8°C", "nvme Composite 38.2°C"}));
}

TEST_F(DetailPages, ProcessorPageListsEveryProcessWithItsGroupCount) {
    monitor.setTopCPUProcesses({process("proc0", 1, 0, 0, 50.25), process("Mail", 2, 0, 0, 49.25),
                                process("p2", 3, 0, 0, 48.25), process("p3", 4, 0, 0, 47.25)});
    open("CPU");
    // What the rows show: the bold label and the value of each.
    Texts shownRows;
    for (QQuickItem* row : find("cpuProcesses")->childItems()) {
        const auto* name = row->findChild<QQuickItem*>("rowName");
        const auto* value = row->findChild<QQuickItem*>("rowValue");
        if (name && value && name->property("font").value<QFont>().bold())
            shownRows.push_back(
                (name->property("text").toString() + " " + value->property("text").toString())
                    .toStdString());
    }
    EXPECT_EQ(shownRows, Texts({"proc0 50.2%", "Mail (2) 49.2%", "p2 (3) 48.2%", "p3 (4) 47.2%"}));
}

TEST_F(DetailPages, DiskChartNegatesWritesAndDrawsOnlyTheIndicesOfTheReads) {
    open("Disk");
    QQuickItem* chart = find("diskChart");
    const struct {
        History reads, writes;
        double lowest, highest; // what the scale must reach and must not pass
    } cases[] = {
        {{1, 2, 3}, {5}, -5, 3},
        {{1, 2, 3}, {4, 4, 4, 4, 100}, -4, 3}, // the 100 has no read beside it
        {{}, {}, 0, 1},
        {{7}, {1, 1}, -1, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.highest);
        monitor.setDiskReadHistory(c.reads);
        monitor.setDiskWriteHistory(c.writes);
        const double min = chart->property("scaleMin").toDouble();
        EXPECT_LE(min, c.lowest);
        EXPECT_GT(min, 2 * c.lowest - 1);
        EXPECT_GE(chart->property("scaleMax").toDouble(), c.highest);
        EXPECT_FALSE(page->grabWindow().isNull());
    }
}

TEST_F(DetailPages, BatteryLineTakesTheColourOfTheNewestSample) {
    open("Battery");
    auto* line = page->rootObject()->findChild<QObject*>("batteryFlowLine");
    ASSERT_NE(line, nullptr);
    const Theme theme;
    const std::pair<History, QColor> cases[] = {{{}, theme.green()},
                                                {{3, 2, -0.5}, theme.orange()},
                                                {{-4, 0}, theme.green()},
                                                {{-4, 2.5}, theme.green()}};
    for (const auto& [watts, color] : cases) {
        monitor.setBatteryWattsHistory(watts);
        EXPECT_EQ(line->property("color").value<QColor>(), color) << watts.size();
    }
}
