#include "ShellFixture.h"
#include "app/TrayController.h"
#include "model/MetricCatalogue.h"
#include "views/LabelRenderer.h"
#include "views/NumberIcon.h"
#include "views/Symbols.h"
#include "views/Theme.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <tuple>

using namespace orb;
using orb::testing::ShellFixture;
using TrayLabel = ShellFixture;

namespace {

constexpr double outerRadius = 8.5;
constexpr double innerRadius = 5.0;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// What the ring image shows at a clock position (12 is up) on the circle of `radius` points:
// "clear", "value" (the colour, opaque), "track" (faint white), "dark track" (faint black) or
// the pixel, sampling the pixel around that point whose centre lies nearest the circle.
std::string ringAt(const QImage& image, double radius, double clockHours, const QColor& value) {
    const double ratio = image.devicePixelRatio();
    const double angle = clockHours / 12.0 * 2 * std::numbers::pi;
    const QPoint around((11.0 + radius * std::sin(angle)) * ratio,
                        (11.0 - radius * std::cos(angle)) * ratio);
    QPoint best;
    double bestMiss = radius;
    for (int i = 0; i < 9; ++i) {
        const QPoint p = around + QPoint(i % 3 - 1, i / 3 - 1);
        const double miss =
            std::abs(std::hypot((p.x() + 0.5) / ratio - 11, (p.y() + 0.5) / ratio - 11) - radius);
        if (miss < bestMiss)
            std::tie(best, bestMiss) = std::pair(p, miss);
    }
    const QColor pixel = image.pixelColor(best);
    const auto near = [](int a, int b, int tolerance) { return std::abs(a - b) <= tolerance; };
    const int lowest = std::min({pixel.red(), pixel.green(), pixel.blue()});
    const int highest = std::max({pixel.red(), pixel.green(), pixel.blue()});
    if (pixel.alpha() <= 2)
        return "clear";
    if (pixel.alpha() >= 200 && near(pixel.red(), value.red(), 16) &&
        near(pixel.green(), value.green(), 16) && near(pixel.blue(), value.blue(), 16))
        return "value";
    if (near(pixel.alpha(), 51, 20) && (lowest >= 240 || highest <= 15))
        return lowest >= 240 ? "track" : "dark track";
    return pixel.name(QColor::HexArgb).toStdString();
}

// Where an area given in points has any ink, and its most opaque pixel.
struct Ink {
    QRect bounds;
    QRgb strongest = 0;
};

Ink inkWithin(const QImage& image, QRectF points) {
    const double ratio = image.devicePixelRatio();
    const QRect area = QRectF(points.topLeft() * ratio, points.size() * ratio)
                           .toAlignedRect()
                           .intersected(image.rect());
    Ink ink;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb pixel = image.pixelColor(x, y).rgba();
            if (qAlpha(pixel) > 0)
                ink.bounds |= QRect(x, y, 1, 1);
            if (qAlpha(pixel) > qAlpha(ink.strongest))
                ink.strongest = pixel;
        }
    }
    return ink;
}

TEST(RingImage, ValueArcRunsClockwiseFromTwelveOnAClearBackground) {
    const std::array<double, 6> hours{0, 2.25, 3.75, 5.25, 6.75, 11.25};
    const struct {
        double fraction;
        const char* shows; // at each of `hours`: V value, T track
    } cases[] = {{0.0, "TTTTTT"}, {0.25, "VVTTTT"}, {1.0, "VVVVVV"},
                 {1.3, "VVVVVV"}, {-0.2, "TTTTTT"}, {nan, "VVVVVV"}};
    const QColor pink = ringColor("pink"), green = ringColor("green");
    for (qreal ratio : {1.0, 2.0}) {
        for (const auto& c : cases) {
            const QImage outer = renderRingImage(RingMetric::cpuTotal, c.fraction, "pink",
                                                 RingMetric::none, 0.0, "green", ratio);
            const QImage inner = renderRingImage(
                RingMetric::none, 0.0, "pink", RingMetric::memoryUsed, c.fraction, "green", ratio);
            for (std::size_t i = 0; i < hours.size(); ++i) {
                SCOPED_TRACE(::testing::Message() << "fraction " << c.fraction << ", ratio "
                                                  << ratio << ", " << hours[i] << " o'clock");
                const std::string expected = c.shows[i] == 'V' ? "value" : "track";
                EXPECT_EQ(ringAt(outer, outerRadius, hours[i], pink), expected);
                EXPECT_EQ(ringAt(inner, innerRadius, hours[i], green), expected);
                // Each ring keeps its own radius when the other is left out.
                EXPECT_EQ(ringAt(outer, innerRadius, hours[i], pink), "clear");
                EXPECT_EQ(ringAt(inner, outerRadius, hours[i], green), "clear");
            }
        }
    }

    // The background stays clear, unknown colours draw blue and tracks suit a light panel.
    const QImage both = renderRingImage(RingMetric::cpuTotal, 1.0, "magenta",
                                        RingMetric::memoryUsed, 1.0, "Pink", 2.0);
    for (QRectF clear : {QRectF(0, 0, 1, 1), QRectF(21, 21, 1, 1), QRectF(10, 10, 2, 2)})
        EXPECT_TRUE(inkWithin(both, clear).bounds.isEmpty());
    // Half-point pixels fit in the 1-point gap between the strokes.
    EXPECT_EQ(ringAt(both, 6.75, 9, Qt::black), "clear");
    EXPECT_EQ(ringAt(both, outerRadius, 9, ringColor("blue")), "value");
    EXPECT_EQ(ringAt(both, innerRadius, 9, ringColor("blue")), "value");

    const QImage onLight = renderRingImage(RingMetric::cpuTotal, 0.0, "pink", RingMetric::cpuUser,
                                           0.0, "pink", 1.0, PanelShade::light);
    EXPECT_EQ(ringAt(onLight, outerRadius, 6, Qt::black), "dark track");
    EXPECT_EQ(ringAt(onLight, innerRadius, 6, Qt::black), "dark track");
}

TEST(PanelShade, TrayTextColourDecidesElseTheColourBehindElseThePalette) {
    const QColor white(Qt::white), black(Qt::black), light(0xef, 0xef, 0xef),
        dark(0x20, 0x20, 0x20);
    const std::nullopt_t none = std::nullopt;
    const struct {
        PanelColors colors; // tray text, behind the icon, palette text, palette window
        PanelShade shade;
        QColor text;
    } cases[] = {
        {{white, light, black, light}, PanelShade::dark, white}, // the tray's word wins
        {{dark, none, white, black}, PanelShade::light, dark},
        {{none, dark, black, light}, PanelShade::dark, white}, // behind, not the palette
        {{none, light, white, black}, PanelShade::light, black},
        {{none, none, black, light}, PanelShade::light, black},
        {{none, none, light, dark}, PanelShade::dark, light},
        {{none, none, light, light}, PanelShade::dark, light}, // no contrast: dark
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(panelShade(c.colors), c.shade);
        EXPECT_EQ(panelTextColor(c.colors), c.text);
    }
}

TEST_F(TrayLabel, PartsFollowTheChosenMetricsAndTheTrayIconIsTheRingsOrTheSymbolAlone) {
    monitor.setMemoryTotal(10.0);
    monitor.setMemoryUsed(7.0);
    monitor.setDownloadSpeed(QStringLiteral("1.5 MB/s"));
    const auto build = [&](RingMetric outer, RingMetric inner, NumberMetric number) {
        return buildLabel({outer, inner, number, "pink", "orange"}, monitor, 1.0);
    };
    const Label label = buildLabel(LabelSettings{}, monitor, 2.0);
    EXPECT_EQ(ringAt(label.rings.value(), innerRadius, 7.5, ringColor("blue")), "value"); // 70 %
    EXPECT_EQ(std::pair(label.text, label.symbol),
              std::pair(QString("1.5 MB/s"), symbolGlyph("network")));
    const QColor text(0x20, 0x30, 0x40);
    EXPECT_EQ(trayIconImage(label, text, 2.0), *label.rings);

    const Label innerOnly = build(RingMetric::none, RingMetric::memoryUsed, NumberMetric::none);
    EXPECT_EQ(ringAt(innerOnly.rings.value(), innerRadius, 1, ringColor("orange")), "value");
    EXPECT_TRUE(innerOnly.text.isEmpty() && innerOnly.symbol.isEmpty());
    EXPECT_FALSE(build(RingMetric::none, RingMetric::none, NumberMetric::cpuTotal).rings);

    // No battery estimate drops the whole number group, symbol included.
    monitor.setTimeRemaining(QString());
    EXPECT_EQ(build(RingMetric::none, RingMetric::none, NumberMetric::timeRemaining).symbol, "");

    // Without rings the symbol alone at its own size, centred in the square, in the text
    // colour; with nothing, no picture.
    const QImage alone =
        trayIconImage(build(RingMetric::none, RingMetric::none, NumberMetric::downloadSpeed), text);
    const Ink ink = inkWithin(alone, QRectF(0, 0, 22, 22));
    EXPECT_EQ(alone.size(), QSize(22, 22));
    EXPECT_TRUE(ink.bounds.width() > 4 && ink.bounds.width() < 12) << ink.bounds.width();
    EXPECT_LE((ink.bounds.center() - QPointF(11, 11)).manhattanLength(), 2.5);
    const QColor strongest = QColor::fromRgba(ink.strongest);
    EXPECT_LE(std::abs(strongest.red() - text.red()) + std::abs(strongest.green() - text.green()) +
                  std::abs(strongest.blue() - text.blue()),
              24);
    EXPECT_TRUE(trayIconImage(Label{}, text).isNull());
}

TEST(NumberIcon, ValueOverUnitOrOneLineAsLargeAsFits) {
    const std::pair<const char*, const char*> cases[] = {
        // text, unit (none: one line)
        {"42%", "%"},  {"1.2 MB/s", "MB/s"}, {"-61 dBm", "dBm"}, {"45\u00B0", ""}, {"Ch 36", ""},
        {"3d 4h", ""}, {"2:15", ""},         {"1500, 1600", ""}, {"\u2014", ""}};
    const QColor text(0xd0, 0xe0, 0xf0);
    for (const auto& [number, unit] : cases) {
        SCOPED_TRACE(number);
        const auto parts = splitValueAndUnit(QString::fromUtf8(number));
        EXPECT_EQ(parts ? parts->second : QString(), QString::fromUtf8(unit));

        const QImage icon = renderNumberIcon(QString::fromUtf8(number), text, 2.0);
        ASSERT_EQ(icon.deviceIndependentSize(), QSizeF(22, 22));
        bool clearRowInMiddle = false;
        for (double y = 10; y < 12; y += 0.5)
            clearRowInMiddle |= inkWithin(icon, QRectF(0, y, 22, 0.5)).bounds.isEmpty();
        const Ink all = inkWithin(icon, QRectF(0, 0, 22, 22));
        EXPECT_EQ(QColor::fromRgba(all.strongest).rgb(), text.rgb());
        // Fitted: the ink reaches to within a point of two opposite edges.
        const QSizeF inkPoints = QSizeF(all.bounds.size()) / 2.0;
        EXPECT_TRUE(inkPoints.width() >= 20 || inkPoints.height() >= (parts ? 19 : 14))
            << inkPoints.width() << " x " << inkPoints.height();
        // Two lines with a clear row between, or one across the middle (the dash is too thin).
        EXPECT_TRUE(parts ? clearRowInMiddle : !clearRowInMiddle || number[0] == '\xe2');
    }
    EXPECT_TRUE(renderNumberIcon(QString(), text).isNull());
}

// Every metric has a guide, so no panel sizes its label by the changing text.
TEST(LabelGuide, EveryMetricHasOne) {
    for (NumberMetric metric : allNumberMetrics())
        EXPECT_EQ(labelGuide(metric).isEmpty(), metric == NumberMetric::none)
            << rawValue(metric).toStdString();
}

} // namespace

// The tests run without a session bus (see CMakeLists.txt), so no panel takes the item.
TEST_F(TrayLabel, RebuildsOncePerTurnOfTheEventLoopAndTheX11TrayShowsTheNumberAsASecondIcon) {
    TrayController tray(monitor, prefs);
    ASSERT_TRUE(waitFor([&] { return tray.showsNumberItem(); }));
    EXPECT_EQ(tray.host(), TrayController::Host::systemTray);
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

TEST(TrayHost, KnownFromTheDesktopsName) {
    // Whether the host draws the label, the panel's shade where the desktop fixes it, and
    // whether the newest item shows first.
    const std::tuple<const char*, bool, std::optional<PanelShade>, bool> desktops[] = {
        {"ubuntu:GNOME", true, PanelShade::dark, false},
        {"unity", true, std::nullopt, false},
        {"MATE", false, std::nullopt, false},
        {"sway", false, PanelShade::dark, false},
        {"KDE", false, std::nullopt, false},
        {"XFCE", false, std::nullopt, true},
        {"GNOME-Flashback-ish", false, std::nullopt, false},
        {"", false, std::nullopt, false},
    };
    for (const auto& [desktop, label, shade, newestFirst] : desktops) {
        const TrayHost host = trayHostOf(desktop);
        EXPECT_EQ(std::tuple(host.drawsLabel, host.shade, host.newestFirst),
                  std::tuple(label, shade, newestFirst))
            << desktop;
    }
}
