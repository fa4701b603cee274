#include "ShellFixture.h"
#include "app/Popover.h"
#include "app/Shell.h"
#include "views/BarCharts.h"
#include "views/RingGauge.h"
#include "views/Theme.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QQmlComponent>
#include <QQmlEngine>

using namespace orb;
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

AppProcessList processes(int count) {
    AppProcessList list;
    for (int i = 0; i < count; ++i) {
        AppProcess p;
        p.id = QUuid::createUuid();
        p.name = QStringLiteral("proc%1").arg(i);
        p.cpu = 12.25 * (i + 1);
        list.append(p);
    }
    return list;
}

} // namespace

TEST_F(StatsView, ProcessorCardShowsTruncatedSharesAndAtMostThreeProcesses) {
    const struct {
        double user, system;
        int processCount;
        const char *userText, *systemText;
        int rows;
    } cases[] = {
        {0.456, 0.0, 0, "User 45%", "System 0%", 0},
        {1.5, 0.999, 5, "User 150%", "System 99%", 3},
        {0.1, 0.2, 2, "User 10%", "System 20%", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.userText);
        monitor.setCpuUser(c.user);
        monitor.setCpuSystem(c.system);
        monitor.setTopCPUProcesses(processes(c.processCount));
        EXPECT_EQ(text("cpuUser"), c.userText);
        EXPECT_EQ(text("cpuSystem"), c.systemText);
        EXPECT_EQ(shown("cpuProcesses"), c.rows > 0);
        const QVariantList rows = find("cpuProcesses")->property("rows").toList();
        ASSERT_EQ(rows.size(), c.rows);
        if (c.rows > 0) {
            EXPECT_EQ(rows[0].toMap()["value"].toString(), "12.2%"); // printf rounds to even
        }
    }
}

TEST_F(StatsView, GraphicsCardShowsSharesAndVramOnlyWhenSomeIsUsed) {
    const struct {
        double device, renderer, tiler;
        qint64 vram;
        const char *deviceText, *rendererText, *tilerText, *vramText;
    } cases[] = {
        {0.456, 0.5, 0.01, 0, "45%", "50%", "1%", nullptr},
        {1.5, 0, 0.999, 3 * 1024 * 1024, "150%", "0%", "99%", "3.0 MB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.deviceText);
        monitor.setGpuUsage(c.device);
        monitor.setGpuRendererUtil(c.renderer);
        monitor.setGpuTilerUtil(c.tiler);
        monitor.setGpuMemoryUsed(c.vram);
        EXPECT_EQ(figure("gpuDevice"), c.deviceText);
        EXPECT_EQ(figure("gpuRenderer"), c.rendererText);
        EXPECT_EQ(figure("gpuTiler"), c.tilerText);
        EXPECT_EQ(shown("gpuVram"), c.vramText != nullptr);
        if (c.vramText) {
            EXPECT_EQ(figure("gpuVram"), c.vramText);
        }
    }
}

TEST_F(StatsView, MemoryCardRingsFollowPressureAndUsedShareWithoutClamping) {
    const struct {
        double pressure, used, total;
        const char *pressureText, *usageText;
        double usageRing;
        const char *app, *free;
    } cases[] = {
        {0.456, 4.0 * (1 << 30), 8.0 * (1 << 30), "45%", "50%", 0.5, "4.0 GB", "4.0 GB"},
        {1.5, 1536, 1024, "150%", "150%", 1.0, "1.5 KB", "-512 B"},
        {0, 1000, 0, "0%", "0%", 0.0, "1000 B", "-1000 B"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.usageText);
        monitor.setMemoryPressure(c.pressure);
        monitor.setMemoryUsed(c.used);
        monitor.setMemoryTotal(c.total);
        EXPECT_EQ(figure("pressure"), c.pressureText);
        EXPECT_DOUBLE_EQ(ring("pressureRing"), std::min(c.pressure, 1.0));
        EXPECT_EQ(figure("usage"), c.usageText);
        EXPECT_DOUBLE_EQ(ring("usageRing"), c.usageRing);
        EXPECT_EQ(find("memoryApp")->property("value").toString(), c.app);
        EXPECT_EQ(find("memoryFree")->property("value").toString(), c.free);
    }
}

TEST_F(StatsView, ThroughputCardsShowRatesAndDrawPairsOfUnequalLength) {
    monitor.setUploadSpeed("1.5 KB/s");
    monitor.setDownloadSpeed("3.0 MB/s");
    monitor.setDiskReadBytesPerSec(1536);
    monitor.setDiskWriteBytesPerSec(0);
    EXPECT_EQ(figure("upload"), "1.5 KB/s");
    EXPECT_EQ(figure("download"), "3.0 MB/s");
    EXPECT_EQ(figure("diskRead"), "1.5 KB/s");
    EXPECT_EQ(figure("diskWrite"), "0 B/s");

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
        bool charging;
        const char *toFull, *remaining;
        double draw, charge;
        int adapter, cycles;
        const char *header, *flow, *adapterText, *cyclesText;
    } cases[] = {
        {false, "", "", 0, 0, 0, 0, "", nullptr, "No AC adapter", nullptr},
        {true, "1:05", "3:10", 2.25, 12.0, 96, 412, "1:05", "2.2 W from battery", "96 W adapter",
         "412 cycles"},
        {true, "", "3:10", 0, 12.34, 0, 0, "3:10", "12.3 W to battery", "No AC adapter", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.header);
        monitor.setIsCharging(c.charging);
        monitor.setBatteryTimeToFull(c.toFull);
        monitor.setTimeRemaining(c.remaining);
        monitor.setBatteryDrawWatts(c.draw);
        monitor.setBatteryChargeWatts(c.charge);
        monitor.setAdapterWatts(c.adapter);
        monitor.setBatteryCycleCount(c.cycles);
        monitor.setBatteryLevel(0.456);
        EXPECT_EQ(find("batteryHeader")->property("rightText").toString(), c.header);
        EXPECT_EQ(text("batteryLevel"), "45%");
        EXPECT_EQ(shown("chargingBolt"), c.charging);
        EXPECT_EQ(shown("powerFlow"), c.flow != nullptr);
        if (c.flow) {
            EXPECT_EQ(text("powerFlow"), c.flow);
        }
        EXPECT_EQ(text("adapter"), c.adapterText);
        // Only the plug symbol is tinted: the adapter text stays secondary.
        EXPECT_EQ(find("adapter")->property("color").value<QColor>(), Theme().secondaryText());
        EXPECT_EQ(shown("cycles"), c.cyclesText != nullptr);
        if (c.cyclesText) {
            EXPECT_EQ(text("cycles"), c.cyclesText);
        }
    }
}

TEST_F(StatsView, SensorsCardListsByLabelAndGivesWayToTheThermalCardWhenEmpty) {
    monitor.setSensors({});
    const struct {
        const char* state;
        QColor color;
    } states[] = {{"Nominal", QColor(48, 209, 88)},
                  {"Critical", QColor(255, 69, 58)},
                  {"Fair", QColor(255, 214, 10)}};
    for (const auto& s : states) {
        monitor.setThermalState(s.state);
        ASSERT_NE(find("thermalCard"), nullptr);
        EXPECT_EQ(text("thermalState"), s.state);
        EXPECT_EQ(find("thermalState")->property("color").value<QColor>(), s.color) << s.state;
    }

    monitor.setSensors({{"b GPU", 40.4}, {"A CPU", 50.6}, {"a Disk", 31.5}});
    ASSERT_NE(find("sensorsCard"), nullptr);
    const QVariantList rows = find("sensorsCard")->property("sensorRows").toList();
    QStringList shownRows;
    for (const QVariant& row : rows)
        shownRows << row.toMap()["label"].toString() + " " + row.toMap()["temp"].toString();
    EXPECT_EQ(shownRows, QStringList({"A CPU 51°", "a Disk 32°", "b GPU 40°"}));

    EXPECT_EQ(find("sensorsCard")->property("area").toString(), "Sensors");

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

TEST_F(StatsView, PowerTilesShareARowEquallyAndValuesHaveTabularDigits) {
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

    const QFontMetricsF digits(QFont(Theme().digitFont()));
    for (char16_t digit = u'1'; digit <= u'9'; ++digit)
        EXPECT_EQ(digits.horizontalAdvance(QChar(digit)), digits.horizontalAdvance(u'0'));
}
