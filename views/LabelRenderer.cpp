#include "views/LabelRenderer.h"

#include "model/MetricTable.h"
#include "model/Readout.h"
#include "views/Symbols.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <cmath>
#include <numbers>

namespace orb {

namespace {

constexpr double pi = std::numbers::pi;
constexpr QPointF ringCentre{11.0, 11.0};
constexpr double outerRingRadius = 8.5;
constexpr double innerRingRadius = 5.0;
constexpr double ringLineWidth = 2.5;

constexpr int symbolPixelSize = 9; // the symbol keeps its own size, alone as beside a number

qreal usableRatio(qreal devicePixelRatio) {
    return devicePixelRatio > 0 && std::isfinite(devicePixelRatio) ? devicePixelRatio : 1.0;
}

// A transparent image of `size` device-independent pixels, backed at `devicePixelRatio`.
QImage transparentImage(QSizeF size, qreal devicePixelRatio) {
    const qreal ratio = usableRatio(devicePixelRatio);
    QImage image(QSize(qCeil(size.width() * ratio), qCeil(size.height() * ratio)),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    return image;
}

// Where the value arc ends, in radians counter-clockwise from 3 o'clock. Negative and NaN
// fractions start from 0; from 1 up, and for NaN, the arc closes the full circle.
double valueArcEndAngle(double fraction) {
    const double shown = fraction >= 0 ? fraction : 0.0;
    if (fraction < 1)
        return pi / 2 - 2 * pi * shown;
    return -3 * pi / 2;
}

void drawRing(QPainter& painter, double radius, const QColor& valueColor, double fraction,
              const QColor& trackColor) {
    const QRectF bounds(ringCentre.x() - radius, ringCentre.y() - radius, 2 * radius, 2 * radius);

    painter.setPen(QPen(trackColor, ringLineWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(bounds);

    // Qt measures arc angles counter-clockwise as seen on screen, the same sense as angles in
    // a y-up system, so the angles go over unchanged despite QPainter's y-down axis.
    const double startAngle = pi / 2;
    const double sweepDegrees = (valueArcEndAngle(fraction) - startAngle) * 180.0 / pi;
    // An arc of no length is empty: round caps must not leave a dot at 12 o'clock.
    if (sweepDegrees == 0)
        return;
    QPainterPath arc;
    arc.arcMoveTo(bounds, 90.0);
    arc.arcTo(bounds, 90.0, sweepDegrees);
    painter.setPen(QPen(valueColor, ringLineWidth, Qt::SolidLine, Qt::RoundCap));
    painter.drawPath(arc);
}

QFont symbolFont(int pixelSize) {
    QFont font(symbolFontFamily());
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Normal);
    return font;
}

// The outline bounds of `glyph` drawn with its baseline origin at (0, 0). Font metrics give only
// a hinted, whole-pixel box that can be several pixels taller than the ink of an icon glyph.
QRectF glyphInk(const QFont& font, const QString& glyph) {
    QPainterPath outline;
    outline.addText(QPointF(0, 0), font, glyph);
    return outline.boundingRect();
}

} // namespace

QImage renderRingImage(RingMetric outer, double outerFraction, const QString& outerColor,
                       RingMetric inner, double innerFraction, const QString& innerColor,
                       qreal devicePixelRatio, PanelShade shade) {
    QImage image = transparentImage(QSizeF(ringImageSize, ringImageSize), devicePixelRatio);
    QPainter painter(&image);
    if (!painter.isActive())
        return image;
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor track = ringTrackColor(shade);
    if (outer != RingMetric::none)
        drawRing(painter, outerRingRadius, ringColor(outerColor), outerFraction, track);
    if (inner != RingMetric::none)
        drawRing(painter, innerRingRadius, ringColor(innerColor), innerFraction, track);
    return image;
}

Label buildLabel(const LabelSettings& settings, const SystemMonitor& monitor,
                 qreal devicePixelRatio, PanelShade shade) {
    Label label;
    if (settings.outerRingMetric != RingMetric::none ||
        settings.innerRingMetric != RingMetric::none) {
        label.rings = renderRingImage(settings.outerRingMetric,
                                      ringFraction(monitor, settings.outerRingMetric),
                                      settings.outerRingColor, settings.innerRingMetric,
                                      ringFraction(monitor, settings.innerRingMetric),
                                      settings.innerRingColor, devicePixelRatio, shade);
    }
    label.text = numberText(monitor, settings.numberMetric);
    if (label.hasNumberGroup())
        label.symbol = symbolGlyph(iconName(settings.numberMetric));
    return label;
}

QImage trayIconImage(const Label& label, const QColor& textColor, qreal devicePixelRatio) {
    if (label.rings)
        return *label.rings;
    if (label.symbol.isEmpty())
        return {};
    const QFont font = symbolFont(symbolPixelSize);
    const QRectF ink = glyphInk(font, label.symbol);
    QImage image = transparentImage(QSizeF(ringImageSize, ringImageSize), devicePixelRatio);
    QPainter painter(&image);
    if (!painter.isActive())
        return image;
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(textColor);
    // Centred on its ink: font metrics give a hinted box that can be several pixels taller.
    painter.drawText(QPointF(ringImageSize / 2.0, ringImageSize / 2.0) - ink.center(),
                     label.symbol);
    return image;
}

QString labelGuide(NumberMetric metric) {
    return QStringView(metricRow(metric).guide).toString();
}

} // namespace orb
