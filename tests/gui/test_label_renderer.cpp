#include "fakes/FakePlatform.h"
#include "model/Readout.h"
#include "monitor/SystemMonitor.h"
#include "views/LabelRenderer.h"
#include "views/Symbols.h"
#include "views/Theme.h"

#include <QColor>
#include <QImage>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <numbers>
#include <string>

using namespace orb;
using orb::testing::FakePlatform;

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double outerRadius = 8.5;
constexpr double innerRadius = 5.0;
constexpr std::array<qreal, 2> pixelRatios{1.0, 2.0};

// What a pixel of the ring image shows.
std::string classify(const QColor& pixel, const QColor& valueColor) {
    const auto near = [](int a, int b, int tolerance) { return std::abs(a - b) <= tolerance; };
    if (pixel.alpha() <= 2)
        return "transparent";
    if (pixel.alpha() >= 200 && near(pixel.red(), valueColor.red(), 16) &&
        near(pixel.green(), valueColor.green(), 16) && near(pixel.blue(), valueColor.blue(), 16))
        return "value";
    // Track: white at alpha 0.2, i.e. about 51.
    if (near(pixel.alpha(), 51, 20) && pixel.red() >= 240 && pixel.green() >= 240 &&
        pixel.blue() >= 240)
        return "track";
    return "other " + pixel.name(QColor::HexArgb).toStdString();
}

// The pixel nearest the circle of `radius` points around the image centre at a clock position
// (12 is up, 3 is right on screen), so that it lies well inside a 2.5-point stroke.
QPoint pixelOnCircle(const QImage& image, double radius, double clockHours) {
    const double ratio = image.devicePixelRatio();
    const double angle = clockHours / 12.0 * 2 * std::numbers::pi;
    const double x = (11.0 + radius * std::sin(angle)) * ratio;
    const double y = (11.0 - radius * std::cos(angle)) * ratio;
    QPoint best;
    double bestMiss = std::numeric_limits<double>::max();
    for (int px = int(std::floor(x)) - 1; px <= int(std::floor(x)) + 1; ++px) {
        for (int py = int(std::floor(y)) - 1; py <= int(std::floor(y)) + 1; ++py) {
            const double cx = (px + 0.5) / ratio - 11.0;
            const double cy = (py + 0.5) / ratio - 11.0;
            const double miss = std::abs(std::hypot(cx, cy) - radius);
            if (miss < bestMiss) {
                bestMiss = miss;
                best = QPoint(px, py);
            }
        }
    }
    return best;
}

std::string ringAt(const QImage& image, double radius, double clockHours,
                   const QColor& valueColor) {
    return classify(image.pixelColor(pixelOnCircle(image, radius, clockHours)), valueColor);
}

bool hasInk(const QImage& image, QRectF pointsArea) {
    const double ratio = image.devicePixelRatio();
    const QRect pixels = QRectF(pointsArea.topLeft() * ratio, pointsArea.size() * ratio)
                             .toAlignedRect()
                             .intersected(image.rect());
    for (int y = pixels.top(); y <= pixels.bottom(); ++y)
        for (int x = pixels.left(); x <= pixels.right(); ++x)
            if (image.pixelColor(x, y).alpha() > 0)
                return true;
    return false;
}

// One ring alone, the other metric none, at each clock position below.
struct ArcCase {
    double fraction;
    std::array<const char*, 4> at1At4At7At11;
};

const std::array<double, 4> sampleHours{1, 4, 7, 11};

const ArcCase arcCases[] = {
    {0.0, {"track", "track", "track", "track"}},
    {0.25, {"value", "track", "track", "track"}},
    {0.42, {"value", "value", "track", "track"}},
    {0.5, {"value", "value", "track", "track"}},
    {0.75, {"value", "value", "value", "track"}},
    {0.95, {"value", "value", "value", "value"}},
    {1.0, {"value", "value", "value", "value"}},
    {1.3, {"value", "value", "value", "value"}},
    {-0.2, {"track", "track", "track", "track"}},
    {notANumber, {"value", "value", "value", "value"}},
};

TEST(RingImage, ValueArcRunsClockwiseFromTwelveForEachFraction) {
    const QColor pink = ringColor("pink");
    const QColor green = ringColor("green");
    for (qreal ratio : pixelRatios) {
        for (const ArcCase& c : arcCases) {
            const QImage outerOnly = renderRingImage(RingMetric::cpuTotal, c.fraction, "pink",
                                                     RingMetric::none, 0.0, "green", ratio);
            const QImage innerOnly = renderRingImage(
                RingMetric::none, 0.0, "pink", RingMetric::memoryUsed, c.fraction, "green", ratio);
            for (std::size_t i = 0; i < sampleHours.size(); ++i) {
                SCOPED_TRACE(::testing::Message() << "fraction " << c.fraction << ", ratio "
                                                  << ratio << ", " << sampleHours[i] << " o'clock");
                EXPECT_EQ(ringAt(outerOnly, outerRadius, sampleHours[i], pink), c.at1At4At7At11[i]);
                EXPECT_EQ(ringAt(innerOnly, innerRadius, sampleHours[i], green),
                          c.at1At4At7At11[i]);
            }
        }
    }
}

TEST(RingImage, QuarterEndsAtThreeAndHalfAtSix) {
    const QColor pink = ringColor("pink");
    for (qreal ratio : pixelRatios) {
        SCOPED_TRACE(ratio);
        const QImage quarter = renderRingImage(RingMetric::cpuTotal, 0.25, "pink", RingMetric::none,
                                               0.0, "blue", ratio);
        EXPECT_EQ(ringAt(quarter, outerRadius, 2.25, pink), "value");
        EXPECT_EQ(ringAt(quarter, outerRadius, 3.75, pink), "track");
        const QImage half = renderRingImage(RingMetric::cpuTotal, 0.5, "pink", RingMetric::none,
                                            0.0, "blue", ratio);
        EXPECT_EQ(ringAt(half, outerRadius, 5.25, pink), "value");
        EXPECT_EQ(ringAt(half, outerRadius, 6.75, pink), "track");
    }
}

TEST(RingImage, EmptyValueLeavesTheWholeTrackAndNoDotAtTwelve) {
    for (qreal ratio : pixelRatios) {
        for (double fraction : {0.0, -0.2}) {
            const QImage image = renderRingImage(RingMetric::cpuTotal, fraction, "pink",
                                                 RingMetric::memoryUsed, fraction, "blue", ratio);
            for (double hours = 0; hours < 12; hours += 0.5) {
                SCOPED_TRACE(::testing::Message() << "fraction " << fraction << ", ratio " << ratio
                                                  << ", " << hours << " o'clock");
                EXPECT_EQ(ringAt(image, outerRadius, hours, ringColor("pink")), "track");
                EXPECT_EQ(ringAt(image, innerRadius, hours, ringColor("blue")), "track");
            }
        }
    }
}

TEST(RingImage, EachRingKeepsItsRadiusAndTheBackgroundStaysClear) {
    for (qreal ratio : pixelRatios) {
        SCOPED_TRACE(ratio);
        const QImage innerOnly = renderRingImage(RingMetric::none, 1.0, "pink",
                                                 RingMetric::memoryUsed, 1.0, "blue", ratio);
        const QImage outerOnly = renderRingImage(RingMetric::cpuTotal, 1.0, "pink",
                                                 RingMetric::none, 1.0, "blue", ratio);
        const QImage neither =
            renderRingImage(RingMetric::none, 1.0, "pink", RingMetric::none, 1.0, "blue", ratio);
        for (double hours : {0.0, 3.0, 6.0, 9.0, 1.5, 7.5}) {
            SCOPED_TRACE(hours);
            EXPECT_EQ(ringAt(innerOnly, innerRadius, hours, ringColor("blue")), "value");
            EXPECT_EQ(ringAt(innerOnly, outerRadius, hours, ringColor("blue")), "transparent");
            EXPECT_EQ(ringAt(outerOnly, outerRadius, hours, ringColor("pink")), "value");
            EXPECT_EQ(ringAt(outerOnly, innerRadius, hours, ringColor("pink")), "transparent");
        }
        EXPECT_FALSE(hasInk(neither, QRectF(0, 0, 22, 22)));

        const QImage both = renderRingImage(RingMetric::cpuTotal, 1.0, "pink",
                                            RingMetric::memoryUsed, 1.0, "blue", ratio);
        EXPECT_FALSE(hasInk(both, QRectF(0, 0, 1, 1)));
        EXPECT_FALSE(hasInk(both, QRectF(21, 0, 1, 1)));
        EXPECT_FALSE(hasInk(both, QRectF(0, 21, 1, 1)));
        EXPECT_FALSE(hasInk(both, QRectF(21, 21, 1, 1)));
        EXPECT_FALSE(hasInk(both, QRectF(10, 10, 2, 2)));
    }
    // Half-point pixels fit in the 1-point gap between the two strokes.
    const QImage both = renderRingImage(RingMetric::cpuTotal, 1.0, "pink", RingMetric::memoryUsed,
                                        1.0, "blue", 2.0);
    for (double hours : {0.0, 3.0, 6.0, 9.0})
        EXPECT_EQ(ringAt(both, 6.75, hours, Qt::black), "transparent") << hours;
}

TEST(RingImage, IsTwentyTwoPointsAtTheRequestedPixelRatio) {
    for (qreal ratio : {1.0, 1.5, 2.0}) {
        const QImage image = renderRingImage(RingMetric::cpuTotal, 0.5, "pink",
                                             RingMetric::memoryUsed, 0.5, "blue", ratio);
        EXPECT_EQ(image.devicePixelRatio(), ratio);
        EXPECT_EQ(image.size(), QSize(qCeil(22 * ratio), qCeil(22 * ratio)));
        EXPECT_TRUE(image.hasAlphaChannel());
    }
}

TEST(RingImage, UnknownColourNameDrawsBlue) {
    const QImage image = renderRingImage(RingMetric::cpuTotal, 1.0, "magenta",
                                         RingMetric::memoryUsed, 1.0, "Pink", 2.0);
    EXPECT_EQ(ringAt(image, outerRadius, 9, ringColor("blue")), "value");
    EXPECT_EQ(ringAt(image, innerRadius, 9, ringColor("blue")), "value");
}

class LabelBuild : public ::testing::Test {
protected:
    FakePlatform fake;
    SystemMonitor monitor{fake.platform()};

    void SetUp() override {
        monitor.setCpuUsage(0.42);
        monitor.setMemoryTotal(10.0);
        monitor.setMemoryUsed(7.0);
        monitor.setDownloadSpeed(QStringLiteral("1.5 MB/s"));
    }
};

TEST_F(LabelBuild, DefaultsDrawTheReadingsAndTheDownloadNumber) {
    const Label label = buildLabel(LabelSettings{}, monitor, 2.0);
    ASSERT_TRUE(label.rings.has_value());
    const QImage& rings = *label.rings;
    EXPECT_EQ(rings.devicePixelRatio(), 2.0);
    // Outer: 42 % of the circle ends near 5 o'clock; inner: 70 % near 8:24.
    EXPECT_EQ(ringAt(rings, outerRadius, 4, ringColor("pink")), "value");
    EXPECT_EQ(ringAt(rings, outerRadius, 6, ringColor("pink")), "track");
    EXPECT_EQ(ringAt(rings, innerRadius, 7.5, ringColor("blue")), "value");
    EXPECT_EQ(ringAt(rings, innerRadius, 10, ringColor("blue")), "track");
    EXPECT_EQ(label.text, numberText(monitor, NumberMetric::downloadSpeed));
    EXPECT_EQ(label.symbol, symbolGlyph("network"));
    EXPECT_FALSE(label.symbol.isEmpty());
    EXPECT_TRUE(label.hasNumberGroup());
}

TEST_F(LabelBuild, SettingsPickTheMetricsAndColours) {
    monitor.setMemoryUsed(13.0); // an unclamped share over 1 closes the circle
    LabelSettings settings;
    settings.outerRingMetric = RingMetric::none;
    settings.innerRingColor = QStringLiteral("orange");
    const Label label = buildLabel(settings, monitor);
    ASSERT_TRUE(label.rings.has_value());
    EXPECT_EQ(ringAt(*label.rings, outerRadius, 1, ringColor("pink")), "transparent");
    for (double hours : {1.0, 4.0, 7.0, 11.0})
        EXPECT_EQ(ringAt(*label.rings, innerRadius, hours, ringColor("orange")), "value") << hours;
}

TEST_F(LabelBuild, NoRingsLeavesTheSymbolAndNumber) {
    LabelSettings settings;
    settings.outerRingMetric = RingMetric::none;
    settings.innerRingMetric = RingMetric::none;
    const Label label = buildLabel(settings, monitor);
    EXPECT_FALSE(label.rings.has_value());
    EXPECT_EQ(label.symbol, symbolGlyph("network"));
    EXPECT_EQ(label.text, QStringLiteral("1.5 MB/s"));
}

TEST_F(LabelBuild, NoNumberLeavesTheRingsAlone) {
    LabelSettings settings;
    settings.numberMetric = NumberMetric::none;
    const Label label = buildLabel(settings, monitor);
    EXPECT_TRUE(label.rings.has_value());
    EXPECT_TRUE(label.symbol.isEmpty());
    EXPECT_TRUE(label.text.isEmpty());
    EXPECT_FALSE(label.hasNumberGroup());
}

TEST_F(LabelBuild, EmptyTimeRemainingDropsTheWholeNumberGroup) {
    monitor.setTimeRemaining(QString());
    LabelSettings settings;
    settings.numberMetric = NumberMetric::timeRemaining;
    const Label label = buildLabel(settings, monitor);
    EXPECT_FALSE(label.hasNumberGroup());
    EXPECT_TRUE(label.symbol.isEmpty());

    monitor.setTimeRemaining(QStringLiteral("2:15 Remaining"));
    const Label later = buildLabel(settings, monitor);
    EXPECT_TRUE(later.hasNumberGroup());
    EXPECT_EQ(later.symbol, symbolGlyph("clock"));
}

TEST_F(LabelBuild, NothingChosenGivesNoPictures) {
    LabelSettings settings;
    settings.outerRingMetric = RingMetric::none;
    settings.innerRingMetric = RingMetric::none;
    settings.numberMetric = NumberMetric::none;
    const Label label = buildLabel(settings, monitor);
    EXPECT_FALSE(label.rings.has_value());
    EXPECT_FALSE(label.hasNumberGroup());
    EXPECT_TRUE(renderLabelRow(label).isNull());
    EXPECT_TRUE(trayIconImage(label).isNull());
}

Label ringsAndNumber(const QString& text, qreal ratio) {
    Label label;
    label.rings = renderRingImage(RingMetric::cpuTotal, 0.42, "pink", RingMetric::memoryUsed, 0.7,
                                  "blue", ratio);
    label.symbol = symbolGlyph("network");
    label.text = text;
    return label;
}

TEST(LabelRow, LaysOutRingsGapSymbolAndText) {
    for (qreal ratio : pixelRatios) {
        SCOPED_TRACE(ratio);
        const Label label = ringsAndNumber(QStringLiteral("1.5 MB/s"), ratio);
        const QImage row = renderLabelRow(label, ratio);
        ASSERT_FALSE(row.isNull());
        EXPECT_EQ(row.devicePixelRatio(), ratio);
        const QSizeF size = row.deviceIndependentSize();
        ASSERT_GE(size.height(), 22.0);
        EXPECT_GT(size.width(), 22.0 + 8.0 + 2.0);

        // The rings come first, unchanged.
        const int ringTop = qRound((size.height() - 22.0) / 2 * ratio);
        EXPECT_EQ(row.copy(QRect(QPoint(0, ringTop), label.rings->size())),
                  label.rings->convertToFormat(row.format()));
        // Then 8 points of nothing, then the symbol, then the text to the right edge.
        EXPECT_FALSE(hasInk(row, QRectF(22.0, 0, 8.0, size.height())));
        EXPECT_TRUE(hasInk(row, QRectF(30.0, 0, 9.0, size.height())));
        EXPECT_TRUE(hasInk(row, QRectF(size.width() - 4.0, 0, 4.0, size.height())));
    }
}

TEST(LabelRow, GrowsWithTheTextInWhite) {
    const QImage narrow = renderLabelRow(ringsAndNumber(QStringLiteral("5%"), 1.0));
    const QImage wide = renderLabelRow(ringsAndNumber(QStringLiteral("999.9 MB/s"), 1.0));
    EXPECT_GT(wide.width(), narrow.width() + 20);

    // The most opaque pixel of the text is white.
    QColor strongest(Qt::transparent);
    for (int y = 0; y < wide.height(); ++y)
        for (int x = 40; x < wide.width(); ++x)
            if (wide.pixelColor(x, y).alpha() > strongest.alpha())
                strongest = wide.pixelColor(x, y);
    EXPECT_GE(strongest.alpha(), 200);
    EXPECT_EQ(strongest.rgb(), QColor(Qt::white).rgb());
}

TEST(LabelRow, PartsThatAreAbsentTakeNoSpace) {
    Label ringsOnly = ringsAndNumber(QString(), 1.0);
    EXPECT_EQ(renderLabelRow(ringsOnly).deviceIndependentSize(), QSizeF(22, 22));

    Label numberOnly = ringsAndNumber(QStringLiteral("42%"), 1.0);
    numberOnly.rings.reset();
    const QImage row = renderLabelRow(numberOnly);
    ASSERT_FALSE(row.isNull());
    EXPECT_LT(row.width(), 40);
    EXPECT_TRUE(hasInk(row, QRectF(0, 0, 3, row.height())));

    Label textOnly = numberOnly;
    textOnly.symbol.clear();
    EXPECT_LT(renderLabelRow(textOnly).width(), row.width() - 9);
}

TEST(LabelTrayIcon, ShowsTheRingsWhenThereAreAny) {
    const Label label = ringsAndNumber(QStringLiteral("1.5 MB/s"), 2.0);
    EXPECT_EQ(trayIconImage(label, 2.0), *label.rings);
}

TEST(LabelTrayIcon, FallsBackToTheWhiteSymbolCentred) {
    for (qreal ratio : pixelRatios) {
        SCOPED_TRACE(ratio);
        Label label = ringsAndNumber(QStringLiteral("1.5 MB/s"), ratio);
        label.rings.reset();
        const QImage icon = trayIconImage(label, ratio);
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(icon.deviceIndependentSize(), QSizeF(22, 22));

        QRect ink;
        for (int y = 0; y < icon.height(); ++y) {
            for (int x = 0; x < icon.width(); ++x) {
                const QColor pixel = icon.pixelColor(x, y);
                if (pixel.alpha() == 0)
                    continue;
                ink |= QRect(x, y, 1, 1);
                if (pixel.alpha() == 255) {
                    EXPECT_EQ(pixel.rgb(), QColor(Qt::white).rgb());
                }
            }
        }
        ASSERT_FALSE(ink.isEmpty());
        EXPECT_GT(ink.width(), 10 * ratio);
        const QPointF inkCentre = QRectF(ink).center() / ratio;
        EXPECT_NEAR(inkCentre.x(), 11.0, 1.0);
        EXPECT_NEAR(inkCentre.y(), 11.0, 1.0);

        label.symbol.clear();
        EXPECT_TRUE(trayIconImage(label, ratio).isNull());
    }
}

} // namespace
