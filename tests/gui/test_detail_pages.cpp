#include "ShellFixture.h"
#include "app/DetailWindows.h"
#include "app/Shell.h"
#include "views/Theme.h"

#include <QFont>
#include <QQmlComponent>
#include <QQmlEngine>

using namespace orb;
using orb::testing::process;
using orb::testing::ShellFixture;

namespace {

// One detail window open on a monitor fed by the fakes; each test sets the fields its page reads.
struct DetailPages : ShellFixture {
    Shell shell{monitor, prefs};
    Theme theme;
    QQuickView* window = nullptr;

    void open(const QString& area) {
        shell.openDetails(area);
        window = shell.detailWindows().window(area);
        ASSERT_NE(item(window, "detailTitle"), nullptr) << "the detail window did not load";
    }
    QQuickItem* find(const char* name) {
        if (QQuickItem* found = item(window, name))
            return found;
        throw std::runtime_error(std::string("no item named ") + name);
    }
    // Texts and colours as standard strings, so that a failure prints them readably.
    std::string property(const char* name, const char* property) {
        return find(name)->property(property).toString().toStdString();
    }
    std::string text(const char* name) { return property(name, "text"); }
    std::string value(const char* card) { return property(card, "value"); }
    std::string label(const char* card) { return property(card, "label"); }
    std::string tint(const char* name) {
        return hex(find(name)->property("color").value<QColor>());
    }
    static std::string hex(const QColor& color) {
        return color.name(QColor::HexArgb).toStdString();
    }
    bool shown(const char* name) { return find(name)->isVisible(); }
    std::vector<std::string> rows(const char* list, const char* nameKey = "name",
                                  const char* valueKey = "value") {
        std::vector<std::string> texts;
        for (const QVariant& row : find(list)->property("rows").toList()) {
            const QVariantMap fields = row.toMap();
            texts.push_back(
                (fields[nameKey].toString() + " " + fields[valueKey].toString()).toStdString());
        }
        return texts;
    }
};

using Texts = std::vector<std::string>;

} // namespace

TEST_F(DetailPages, AnAreaNameInAnotherCaseShowsOnlyTheTitle) {
    open("cpu");
    EXPECT_EQ(text("detailTitle"), "cpu");
    EXPECT_EQ(find("detailPage")->property("item").value<QQuickItem*>(), nullptr);
}

TEST_F(DetailPages, GraphicsPageFallsBackToGpuAndShowsOnlyTheFiguresItHas) {
    open("GPU");
    const struct {
        const char* model;
        int cores, resets;
        double watts;
        const char *title, *power;
    } cases[] = {
        {"", 0, 0, 0, "GPU", "N/A"},
        {"Radeon RX 7600", 32, 2, 12.345678, "Radeon RX 7600", "12.35 W"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        monitor.setGpuModelName(c.model);
        monitor.setGpuCoreCount(c.cores);
        monitor.setGpuRecoveryCount(c.resets);
        monitor.setGpuPowerWatts(c.watts);
        EXPECT_EQ(text("gpuModel"), c.title);
        EXPECT_EQ(shown("gpuCores"), c.cores > 0);
        EXPECT_EQ(shown("gpuResets"), c.resets > 0);
        if (c.cores > 0) {
            EXPECT_EQ(text("gpuCores"), "32-core GPU");
            EXPECT_EQ(text("gpuResetsText"), "2 resets");
        }
        EXPECT_EQ(value("gpuPowerCard"), c.power);
    }
}

TEST_F(DetailPages, MemoryPageListsEveryProcessWithItsUnitAndShowsSwapOnlyWhenThereIsSome) {
    monitor.setTopMemoryProcesses(
        {process("Firefox", 3, 1025, 0), process("Xorg", 1, 1024, 0), process("sh", 1, 0.5, 0)});
    open("Memory");
    EXPECT_EQ(rows("memoryProcesses"), Texts({"Firefox 1.00 GB", "Xorg 1024.0 MB", "sh 0.5 MB"}));

    const double gibi = 1024.0 * 1024 * 1024;
    const struct {
        double used, total;
        bool shown;
        QColor color;
    } cases[] = {
        {0, 0, false, {}},
        {0.5 * gibi, gibi, true, theme.orange()},
        {0.9 * gibi, gibi, true, theme.red()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.used);
        monitor.setSwapUsed(c.used);
        monitor.setSwapTotal(c.total);
        EXPECT_EQ(shown("swapBlock"), c.shown);
        if (c.shown) {
            EXPECT_EQ(tint("swapText"), hex(c.color));
            EXPECT_DOUBLE_EQ(find("swapBar")->property("fraction").toDouble(), c.used / c.total);
        }
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
    EXPECT_EQ(tint("fromAdapterCard"), hex(theme.secondaryText()));
    EXPECT_EQ(text("timeValue"), "—");
    for (const char* optional :
         {"temperatureCard", "cycleCard", "healthCard", "maxCapacityCard", "designCapacityCard",
          "chargingCard", "adapterCard", "adapterBlock", "batteryCondition"}) {
        EXPECT_FALSE(shown(optional)) << optional;
    }
    EXPECT_EQ(text("timeCaption"), "Time Remaining");
}

TEST_F(DetailPages, BatteryFlowTellsDrawingBeforeCharging) {
    open("Battery");
    const struct {
        double draw, charge, current;
        const char* flow;
        QColor color;
        const char *currentLabel, *currentText;
    } cases[] = {
        {1.5, 3, -1234.4, "1.50 W draw", theme.orange(), "Draw Current", "1234 mA"},
        {0, 2.25, 500, "2.25 W charging", theme.green(), "Charge Current", "500 mA"},
        {0, 0, 0, "0 W", theme.secondaryText(), "Charge Current", "0 mA"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flow);
        monitor.setBatteryDrawWatts(c.draw);
        monitor.setBatteryChargeWatts(c.charge);
        monitor.setBatteryCurrent(c.current);
        EXPECT_EQ(text("powerFlow"), c.flow);
        EXPECT_EQ(tint("powerFlow"), hex(c.color));
        EXPECT_EQ(shown("chargingCard"), c.charge > 0);
        EXPECT_EQ(label("currentCard"), c.currentLabel);
        EXPECT_EQ(value("currentCard"), c.currentText);
    }
    monitor.setBatteryVoltage(12.2);
    EXPECT_EQ(text("powerSource"), "On Battery");
}

TEST_F(DetailPages, BatteryCardsColourTemperatureAndHealthAtTheirThresholds) {
    open("Battery");
    const struct {
        double celsius, health;
        const char *temperature, *healthText;
        QColor temperatureColor, healthColor;
    } cases[] = {
        {45, 0.8, "45.0 °C", "80%", theme.orange(), theme.yellow()},
        {35, 0.6, "35.0 °C", "60%", theme.green(), theme.red()},
        {45.05, 0.85, "45.0 °C", "85%", theme.red(), theme.green()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.celsius);
        monitor.setBatteryTemperature(c.celsius);
        monitor.setBatteryHealthPercent(c.health);
        EXPECT_EQ(value("temperatureCard"), c.temperature);
        EXPECT_EQ(tint("temperatureCard"), hex(c.temperatureColor));
        EXPECT_EQ(value("healthCard"), c.healthText);
        EXPECT_EQ(tint("healthCard"), hex(c.healthColor));
    }
}

TEST_F(DetailPages, BatteryPageShowsTheAdapterTheTimeLeftAndTheEnergyConsumers) {
    monitor.setTopEnergyProcesses({process("Firefox", 3, 0, 12.34), process("sh", 1, 0, 0.05)});
    monitor.setAdapterWatts(65);
    monitor.setAdapterVoltage(20.2);
    monitor.setAdapterCurrent(3250);
    open("Battery");
    EXPECT_TRUE(shown("adapterBlock"));
    EXPECT_EQ(value("adapterCard"), "65W @ 20V / 3250 mA");
    EXPECT_EQ(value("fromAdapterCard"), "65 W");
    EXPECT_EQ(tint("fromAdapterCard"), hex(theme.blue()));
    EXPECT_EQ(rows("energyProcesses"), Texts({"Firefox (3) 12.3%", "sh 0.1%"}));

    const struct {
        bool charging;
        const char *toFull, *caption, *shownText;
    } cases[] = {
        {true, "", "Time to Full", "Calculating..."},
        {true, "1:05", "Time to Full", "1:05"},
        {false, "1:05", "Time Remaining", "3:20"},
    };
    monitor.setTimeRemaining("3:20");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shownText);
        monitor.setIsCharging(c.charging);
        monitor.setBatteryTimeToFull(c.toFull);
        EXPECT_EQ(text("timeCaption"), c.caption);
        EXPECT_EQ(text("timeValue"), c.shownText);
    }
}

TEST_F(DetailPages, SensorsPageListsReadingsByNameOrFallsBackToTheThermalState) {
    monitor.setThermalState("Nominal");
    open("Sensors");
    EXPECT_TRUE(shown("thermalFallback"));
    EXPECT_FALSE(shown("sensorList"));
    EXPECT_EQ(tint("thermalState"), hex(theme.green()));

    monitor.setSensors({{"nvme Composite", 38.25}, {"Package id 0", 51.0}, {"acpitz", 27.8}});
    EXPECT_TRUE(shown("sensorList"));
    EXPECT_FALSE(shown("thermalFallback"));
    EXPECT_EQ(rows("sensorsPage", "label", "temp"),
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
            shownRows.push_back((name->property("text").toString() + " " +
                                 value->property("text").toString())
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
        EXPECT_FALSE(window->grabWindow().isNull());
    }
}

TEST_F(DetailPages, BatteryLineTakesTheColourOfTheNewestSample) {
    open("Battery");
    QQmlComponent component(window->engine());
    component.setData("import Orbimeter.Views\nBatteryFlowChart {}",
                      QUrl("qrc:/Orbimeter/Views/qml/FlowChart.qml")); // beside the components
    std::unique_ptr<QObject> chart(
        component.createWithInitialProperties({{"monitor", QVariant::fromValue(&monitor)}}));
    ASSERT_NE(chart, nullptr) << component.errorString().toStdString();
    auto* line = chart->findChild<QObject*>("batteryFlowLine");
    ASSERT_NE(line, nullptr);
    const std::pair<History, QColor> cases[] = {{{}, theme.green()},
                                                {{3, 2, -0.5}, theme.orange()},
                                                {{-4, 0}, theme.green()},
                                                {{-4, 2.5}, theme.green()}};
    for (const auto& [watts, color] : cases) {
        monitor.setBatteryWattsHistory(watts);
        EXPECT_EQ(line->property("color").value<QColor>(), color) << watts.size();
    }
}
