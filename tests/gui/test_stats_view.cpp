#include "ShellFixture.h"
#include "app/Popover.h"
#include "app/Shell.h"
#include "views/BarCharts.h"
#include "views/RingGauge.h"
#include "views/Theme.h"

#include <QMouseEvent>
#include <QQmlComponent>
#include <QQmlEngine>

using namespace orb;
using orb::testing::process;
using orb::testing::ShellFixture;

namespace {

// The popover open on a monitor fed by the fakes; each test sets the fields its card reads.
struct StatsView : ShellFixture {
    Shell shell{monitor, prefs};

    void SetUp() override {
        shell.popover().open(QRect(600, 0, 24, 24));
        ASSERT_NE(find("cards"), nullptr) << "the cards did not load";
    }
    QQuickView* view() { return shell.popover().window(); }
    QQuickItem* find(const char* name) { return item(view(), name); }
    QString text(const char* name) { return find(name)->property("text").toString(); }
    // A figure's number, over its caption.
    QString figure(const char* name) {
        return find(name)->findChild<QQuickItem*>("figure")->property("text").toString();
    }
    bool shown(const char* name) { return find(name)->isVisible(); }
    double ring(const char* name) {
        return find(name)->findChild<RingGauge*>("gauge")->drawnFraction();
    }
    void click(const char* name) {
        QQuickItem* target = find(name);
        const QPointF at = target->mapToScene(QPointF(target->width() / 2, 8));
        for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, at, view()->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QCoreApplication::sendEvent(view(), &event);
        }
    }
};

} // namespace

TEST_F(StatsView, EachFigureShowsItsOwnReadingAndEmptyOnesHide) {
    monitor.setCpuUser(0.456); // shares truncate and may pass 100 %
    monitor.setCpuSystem(0.999);
    monitor.setTopCPUProcesses({process("proc0", 1, 0, 0, 12.25), process("proc1", 1, 0, 0, 24.5),
                                process("proc2", 1, 0, 0, 36.75), process("proc3", 1, 0, 0, 49)});
    monitor.setGpuUsage(1.5);
    monitor.setGpuRendererUtil(0.5);
    monitor.setGpuTilerUtil(0.01);
    monitor.setGpuMemoryUsed(3 * 1024 * 1024);
    monitor.setMemoryPressure(1.5);
    monitor.setMemoryUsed(1536);
    monitor.setMemoryTotal(1024);
    monitor.setUploadSpeed("1.5 KB/s");
    monitor.setDownloadSpeed("3.0 MB/s");
    monitor.setDiskReadBytesPerSec(1536);
    monitor.setDiskWriteBytesPerSec(0);
    const std::pair<const char*, const char*> figures[] = {
        {"gpuDevice", "150%"},  {"gpuRenderer", "50%"},   {"gpuTiler", "1%"},
        {"gpuVram", "3.0 MB"},  {"pressure", "150%"},     {"usage", "150%"},
        {"upload", "1.5 KB/s"}, {"download", "3.0 MB/s"}, {"diskRead", "1.5 KB/s"},
        {"diskWrite", "0 B/s"}};
    for (const auto& [name, shown] : figures)
        EXPECT_EQ(figure(name), shown) << name;
    EXPECT_EQ(text("cpuUser") + " " + text("cpuSystem"), "User 45% System 99%");
    // A share the machine does not measure is no 0 %.
    monitor.setMeasured({"gpuUsage", "gpuRendererUtil", "gpuTilerUtil"}, false);
    for (const char* name : {"gpuDevice", "gpuRenderer", "gpuTiler"})
        EXPECT_EQ(figure(name), "—") << name;
    // The rings clamp what they draw, not the figures; free memory may read below zero.
    EXPECT_DOUBLE_EQ(ring("pressureRing"), 1.0);
    EXPECT_DOUBLE_EQ(ring("usageRing"), 1.0);
    EXPECT_EQ(find("memoryApp")->property("value").toString(), "1.5 KB");
    EXPECT_EQ(find("memoryFree")->property("value").toString(), "-512 B");
    // At most three processes, their shares as printf rounds them (to even).
    const QVariantList rows = find("cpuProcesses")->property("rows").toList();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0].toMap()["value"].toString(), "12.2%");

    monitor.setTopCPUProcesses({});
    monitor.setGpuMemoryUsed(0);
    monitor.setMemoryPressure(0.25);
    monitor.setMemoryUsed(512);
    EXPECT_FALSE(shown("cpuProcesses") || shown("gpuVram"));
    EXPECT_DOUBLE_EQ(ring("pressureRing"), 0.25);
    EXPECT_DOUBLE_EQ(ring("usageRing"), 0.5);
    monitor.setMemoryTotal(0); // no total: no share
    EXPECT_EQ(figure("usage"), "0%");
    EXPECT_DOUBLE_EQ(ring("usageRing"), 0.0);

    // One list of a pair updated before the other: the chart draws, and the zero line splits
    // the height by the largest sample of each side.
    monitor.setDownloadHistory({1, 2, 3, 4});
    monitor.setUploadHistory({1});
    monitor.setDiskReadHistory({});
    monitor.setDiskWriteHistory({5, 5});
    EXPECT_FALSE(view()->grabWindow().isNull());
    EXPECT_DOUBLE_EQ(MirroredBarChart::zeroLine({1, 3}, {1, 1}, 60), 45);
    EXPECT_DOUBLE_EQ(MirroredBarChart::zeroLine({1, 3}, {9}, 60), 15);
    EXPECT_DOUBLE_EQ(MirroredBarChart::zeroLine({0}, {}, 60), 30);
}

TEST_F(StatsView, BatteryCardPrefersTheDrawLineAndNamesAMissingAdapter) {
    const struct {
        bool charging, plugged;
        const char *toFull, *remaining;
        double draw, charge;
        int adapter, cycles;
        const char *header, *flow, *adapterText, *cyclesText;
    } cases[] = {
        {false, false, "", "", 0, 0, 0, 0, "", nullptr, "No AC adapter", nullptr},
        {true, true, "1:05", "3:10", 2.25, 12.0, 96, 412, "1:05", "2.2 W from battery",
         "96 W adapter", "412 cycles"},
        {true, false, "", "3:10", 0, 12.34, 0, 0, "3:10", "12.3 W to battery", "No AC adapter",
         nullptr},
        // Plugged in to an adapter that does not tell its rating.
        {true, true, "", "3:10", 0, 12.34, 0, 0, "3:10", "12.3 W to battery", "— W adapter",
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.header);
        monitor.setIsCharging(c.charging);
        monitor.setBatteryACConnected(c.plugged);
        monitor.setBatteryTimeToFull(c.toFull);
        monitor.setTimeRemaining(c.remaining);
        monitor.setBatteryDrawWatts(c.draw);
        monitor.setBatteryChargeWatts(c.charge);
        monitor.setAdapterWatts(c.adapter);
        monitor.setBatteryCycleCount(c.cycles);
        EXPECT_EQ(find("batteryHeader")->property("rightText").toString(), c.header);
        EXPECT_EQ(shown("chargingBolt"), c.charging);
        EXPECT_EQ(shown("powerFlow"), c.flow != nullptr);
        if (c.flow) {
            EXPECT_EQ(text("powerFlow"), c.flow);
        }
        EXPECT_EQ(text("adapter"), c.adapterText);
        EXPECT_EQ(shown("cycles"), c.cyclesText != nullptr);
        if (c.cyclesText) {
            EXPECT_EQ(text("cycles"), c.cyclesText);
        }
    }
    // Only the plug symbol is tinted: the adapter text stays secondary.
    EXPECT_EQ(find("adapter")->property("color").value<QColor>(), Theme().secondaryText());
    monitor.setBatteryLevel(0.456);
    EXPECT_EQ(text("batteryLevel"), "45%");
    // A machine without a battery says nothing of one, nor of its adapter.
    monitor.setIsCharging(false);
    monitor.setMeasured({"batteryLevel", "timeRemaining", "batteryACConnected", "adapterWatts"},
                        false);
    EXPECT_EQ(std::tuple(text("batteryLevel"), text("adapter"),
                         find("batteryHeader")->property("rightText").toString()),
              std::tuple(QString("—"), QString("—"), QString("—")));
}

TEST_F(StatsView, SensorsCardListsByLabelAndGivesWayToTheThermalCardWhenEmpty) {
    monitor.setSensors({});
    const Theme theme;
    for (const auto& [state, color] : {std::pair(QString("Nominal"), theme.green()),
                                       {"Critical", theme.red()},
                                       {"Fair", theme.yellow()}}) {
        monitor.setThermalState(state);
        ASSERT_NE(find("thermalCard"), nullptr);
        EXPECT_EQ(text("thermalState"), state);
        EXPECT_EQ(find("thermalState")->property("color").value<QColor>(), color);
    }

    monitor.setSensors({{"b GPU", 40.4}, {"A CPU", 50.6}, {"a Disk", 31.5}});
    ASSERT_NE(find("sensorsCard"), nullptr);
    QStringList shownRows;
    for (const QVariant& row : find("sensorsCard")->property("sensorRows").toList())
        shownRows << row.toMap()["label"].toString() + " " + row.toMap()["temp"].toString();
    EXPECT_EQ(shownRows, QStringList({"A CPU 51°", "a Disk 32°", "b GPU 40°"}));

    // A card's click opens its page; a second click on the same card closes it again.
    click("cpuCard");
    EXPECT_EQ(monitor.activeWindow(), "CPU");
    click("memoryCard");
    EXPECT_EQ(monitor.activeWindow(), "Memory");
    click("memoryCard");
    EXPECT_TRUE(monitor.activeWindow().isEmpty());
}

TEST_F(StatsView, CardsAreGoneWhileThePopoverIsHidden) {
    shell.popover().close();
    EXPECT_EQ(find("cardsLoader")->property("item").value<QObject*>(), nullptr);
    shell.popover().open(QRect(600, 0, 24, 24));
    EXPECT_NE(find("cardsLoader")->property("item").value<QObject*>(), nullptr);
}

TEST_F(StatsView, PowerTilesShareARowEqually) {
    QQmlComponent component(view()->engine());
    component.setData(R"(import QtQuick
import QtQuick.Layouts
import Orbimeter.Views
RowLayout {
    width: 300
    PowerStatCard { objectName: "a"; label: "Draw"; value: "1.1 W"; icon: "bolt.fill"; color: "orange" }
    PowerStatCard { objectName: "b"; label: "Adapter voltage"; value: "20.00 V"; icon: "power"; color: "blue" }
})",
                      QUrl("qrc:/Orbimeter/Views/qml/TwoTiles.qml")); // beside the components
    std::unique_ptr<QQuickItem> row(qobject_cast<QQuickItem*>(component.create()));
    ASSERT_NE(row, nullptr) << component.errorString().toStdString();
    row->setParentItem(view()->contentItem());
    auto* a = row->findChild<QQuickItem*>("a");
    auto* b = row->findChild<QQuickItem*>("b");
    EXPECT_TRUE(waitFor([&] { return a->width() > 100; }));
    EXPECT_NEAR(a->width(), b->width(), 1); // whole pixels
}
