#include "views/ChartMath.h"
#include "views/HistoryChart.h"

#include <QImage>
#include <QPainter>
#include <cmath>
#include <gtest/gtest.h>

using namespace orb;

TEST(SmoothCurve, PassesThroughEverySampleAndStaysFiniteOnRepeatedPoints) {
    const auto finite = [](QPointF p) { return std::isfinite(p.x()) && std::isfinite(p.y()); };
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
