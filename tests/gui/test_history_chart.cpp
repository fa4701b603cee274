#include "ShellFixture.h"
#include "app/DetailWindows.h"
#include "app/Shell.h"
#include "views/ChartMath.h"
#include "views/HistoryChart.h"
#include "views/Theme.h"

#include <QImage>
#include <QPainter>
#include <QQmlComponent>
#include <QQmlEngine>
#include <cmath>

using namespace orb;
using orb::testing::ShellFixture;

namespace {

bool finite(QPointF p) {
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

// A detail window open on the monitor fed by the fakes.
struct DetailCharts : ShellFixture {
    Shell shell{monitor, prefs};

    QQuickView* open(const QString& area) {
        shell.openDetails(area);
        return shell.detailWindows().window(area);
    }
};

} // namespace

TEST(SmoothCurve, PassesThroughEverySampleAndStaysFiniteOnRepeatedPoints) {
    const QList<QPointF> points{{0, 0}, {10, 0}, {20, 0}, {20, 0}, {30, 8}, {40, 2}, {40, 2}};
    const auto curve = chart::smoothCurve({points.constData(), std::size_t(points.size())});
    ASSERT_EQ(curve.size(), std::size_t(points.size() - 1));
    for (std::size_t i = 0; i < curve.size(); ++i) {
        EXPECT_EQ(curve[i].end, points[qsizetype(i) + 1]) << i;
        EXPECT_TRUE(finite(curve[i].control1) && finite(curve[i].control2)) << i;
    }
    // A flat start with nothing before it stays flat.
    EXPECT_EQ(curve[0].control1.y(), 0);
    EXPECT_EQ(curve[0].control2.y(), 0);
    EXPECT_TRUE(chart::smoothCurve({}).empty());
    EXPECT_TRUE(chart::smoothCurve({points.constData(), 1}).empty());
}

TEST(HistoryChartDrawing, ClipsAnOvershootToTheFixedScaleAndSkipsGarbageSamples) {
    HistoryChart chart;
    ChartSeries series;
    auto list = chart.series();
    list.append(&list, &series);
    chart.setSize(QSizeF(300, 150));
    chart.setProperty("autoScale", false);
    series.setProperty("color", QColor(Qt::red));
    series.setProperty("fillTopOpacity", 1.0);
    series.setProperty("fillBottomOpacity", 1.0);
    // A rise after a flat run: the curve over the run dips below zero before it climbs.
    series.setValues({0.5, 0, 0, 1, 1, NAN, 0, std::numeric_limits<double>::infinity(), 0});
    const QRectF plot = chart.plotArea();
    ASSERT_TRUE(plot.height() > 0 && plot.bottom() < chart.height() - 4);

    const double step = plot.width() / 8;
    const QList<QPointF> samples{{0, plot.center().y()},
                                 {step, plot.bottom()},
                                 {2 * step, plot.bottom()},
                                 {3 * step, plot.top()}};
    const auto curve = chart::smoothCurve({samples.constData(), 4});
    EXPECT_GT(curve[1].control2.y(), plot.bottom()) << "the dip the clip has to catch";

    QImage image(chart.size().toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    chart.paint(&painter);
    painter.end();
    const auto red = [&](int x, int y) {
        const QColor c = image.pixelColor(x, y);
        return c.alpha() > 0 && c.red() > 150 && c.green() < 80;
    };
    int inside = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!red(x, y))
                continue;
            ++inside;
            ASSERT_GE(y, std::floor(plot.top() - 1.5)) << "at " << x;
            ASSERT_LE(y, std::ceil(plot.bottom() + 1)) << "at " << x;
        }
    }
    EXPECT_GT(inside, 100);
}

TEST_F(DetailCharts, DiskChartNegatesWritesAndDrawsOnlyTheIndicesOfTheReads) {
    QQuickView* view = open("Disk");
    auto* chart = item(view, "diskChart");
    ASSERT_NE(chart, nullptr) << "the disk page did not load";
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
        const double max = chart->property("scaleMax").toDouble();
        EXPECT_LE(min, c.lowest);
        EXPECT_GT(min, 2 * c.lowest - 1);
        EXPECT_GE(max, c.highest);
        EXPECT_FALSE(view->grabWindow().isNull());
    }
}

TEST_F(DetailCharts, BatteryLineTakesTheColourOfTheNewestSample) {
    QQuickView* view = open("Battery");
    QQmlComponent component(view->engine());
    component.setData("import Orbimeter.Views\nBatteryFlowChart {}",
                      QUrl("qrc:/Orbimeter/Views/qml/FlowChart.qml")); // beside the components
    std::unique_ptr<QObject> chart(
        component.createWithInitialProperties({{"monitor", QVariant::fromValue(&monitor)}}));
    ASSERT_NE(chart, nullptr) << component.errorString().toStdString();
    auto* line = chart->findChild<QObject*>("batteryFlowLine");
    ASSERT_NE(line, nullptr);
    const Theme theme;
    const struct {
        History watts;
        QColor color;
    } cases[] = {
        {{}, theme.green()},
        {{3, 2, -0.5}, theme.orange()},
        {{-4, 0}, theme.green()},
        {{-4, 2.5}, theme.green()},
    };
    for (const auto& c : cases) {
        monitor.setBatteryWattsHistory(c.watts);
        EXPECT_EQ(line->property("color").value<QColor>(), c.color) << c.watts.size();
    }
}

TEST_F(DetailCharts, ProcessorPageListsEveryProcessWithItsGroupCount) {
    QQuickView* view = open("CPU");
    ASSERT_NE(item(view, "cpuProcesses"), nullptr) << "the processor page did not load";
    AppProcessList list;
    for (int i = 0; i < 6; ++i) {
        AppProcess p;
        p.id = QUuid::createUuid();
        p.name = i == 1 ? QStringLiteral("Mail") : QStringLiteral("proc%1").arg(i);
        p.count = i + 1;
        p.cpu = 50.25 - i;
        list.append(p);
    }
    monitor.setTopCPUProcesses(list);
    // What the rows show: the bold label and the value of each.
    QStringList shown;
    for (QQuickItem* row : item(view, "cpuProcesses")->childItems()) {
        const auto texts = row->childItems();
        if (texts.size() == 2 && texts[0]->property("font").value<QFont>().bold())
            shown << texts[0]->property("text").toString() + " " +
                         texts[1]->property("text").toString();
    }
    EXPECT_EQ(shown, QStringList({"proc0 50.2%", "Mail (2) 49.2%", "proc2 (3) 48.2%",
                                  "proc3 (4) 47.2%", "proc4 (5) 46.2%", "proc5 (6) 45.2%"}));
}
