#include "views/LabelRenderer.h"

#include "model/Readout.h"
#include "views/Symbols.h"
#include "views/Theme.h"

#include <QFont>
#include <QFontDatabase>
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
constexpr double trackAlpha = 0.2;

constexpr double ringsToNumberGap = 8.0;
constexpr double symbolToTextGap = 2.0;
constexpr int symbolPixelSize = 9;
constexpr int textPixelSize = 11;
constexpr int traySymbolPixelSize = ringImageSize;

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

void drawRing(QPainter& painter, double radius, const QColor& valueColor, double fraction) {
    const QRectF bounds(ringCentre.x() - radius, ringCentre.y() - radius, 2 * radius, 2 * radius);

    QColor trackColor(Qt::white);
    trackColor.setAlphaF(trackAlpha);
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

QFont numberFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(textPixelSize);
    font.setWeight(QFont::DemiBold);
    return font;
}

} // namespace

QImage renderRingImage(RingMetric outer, double outerFraction, const QString& outerColor,
                       RingMetric inner, double innerFraction, const QString& innerColor,
                       qreal devicePixelRatio) {
    QImage image = transparentImage(QSizeF(ringImageSize, ringImageSize), devicePixelRatio);
    QPainter painter(&image);
    if (!painter.isActive())
        return image;
    painter.setRenderHint(QPainter::Antialiasing);
    if (outer != RingMetric::none)
        drawRing(painter, outerRingRadius, ringColor(outerColor), outerFraction);
    if (inner != RingMetric::none)
        drawRing(painter, innerRingRadius, ringColor(innerColor), innerFraction);
    return image;
}

Label buildLabel(const LabelSettings& settings, const SystemMonitor& monitor,
                 qreal devicePixelRatio) {
    Label label;
    if (settings.outerRingMetric != RingMetric::none ||
        settings.innerRingMetric != RingMetric::none) {
        label.rings = renderRingImage(settings.outerRingMetric,
                                      ringFraction(monitor, settings.outerRingMetric),
                                      settings.outerRingColor, settings.innerRingMetric,
                                      ringFraction(monitor, settings.innerRingMetric),
                                      settings.innerRingColor, devicePixelRatio);
    }
    label.text = numberText(monitor, settings.numberMetric);
    if (label.hasNumberGroup())
        label.symbol = symbolGlyph(iconName(settings.numberMetric));
    return label;
}

QImage renderLabelRow(const Label& label, qreal devicePixelRatio) {
    const bool hasRings = label.rings.has_value();
    const bool hasNumber = label.hasNumberGroup();
    const bool hasSymbol = hasNumber && !label.symbol.isEmpty();
    if (!hasRings && !hasNumber)
        return {};

    const QFont glyphFont = symbolFont(symbolPixelSize);
    const QFont textFont = numberFont();
    const QFontMetricsF glyphMetrics(glyphFont);
    const QFontMetricsF textMetrics(textFont);

    // The symbol is centred on its ink, the text on its line box, so the icon sits level with
    // the digits rather than with the font's empty ascent.
    const QRectF symbolInk = hasSymbol ? glyphInk(glyphFont, label.symbol) : QRectF();
    const double glyphWidth = hasSymbol ? glyphMetrics.horizontalAdvance(label.symbol) : 0.0;
    const double textWidth = hasNumber ? textMetrics.horizontalAdvance(label.text) : 0.0;
    const double textHeight = textMetrics.ascent() + textMetrics.descent();

    double height = 0;
    if (hasRings)
        height = ringImageSize;
    if (hasSymbol)
        height = std::max(height, symbolInk.height());
    if (hasNumber)
        height = std::max(height, textHeight);

    double width = 0;
    if (hasRings)
        width += ringImageSize;
    if (hasRings && hasNumber)
        width += ringsToNumberGap;
    const double symbolLeft = width;
    if (hasSymbol)
        width += glyphWidth + symbolToTextGap;
    const double textLeft = width;
    width += textWidth;

    QImage image = transparentImage(QSizeF(width, height), devicePixelRatio);
    QPainter painter(&image);
    if (!painter.isActive())
        return image;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    if (hasRings)
        painter.drawImage(QPointF(0, (height - ringImageSize) / 2), *label.rings);
    painter.setPen(Qt::white);
    if (hasSymbol) {
        painter.setFont(glyphFont);
        const double baseline = height / 2 - symbolInk.center().y();
        painter.drawText(QPointF(symbolLeft, baseline), label.symbol);
    }
    if (hasNumber) {
        painter.setFont(textFont);
        const double baseline = (height - textHeight) / 2 + textMetrics.ascent();
        painter.drawText(QPointF(textLeft, baseline), label.text);
    }
    return image;
}

QImage trayIconImage(const Label& label, qreal devicePixelRatio) {
    if (label.rings)
        return *label.rings;
    if (label.symbol.isEmpty())
        return {};

    QImage image = transparentImage(QSizeF(ringImageSize, ringImageSize), devicePixelRatio);
    QPainter painter(&image);
    if (!painter.isActive())
        return image;
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QFont font = symbolFont(traySymbolPixelSize);
    const QRectF ink = glyphInk(font, label.symbol);
    painter.setFont(font);
    painter.setPen(Qt::white);
    const QPointF centre(ringImageSize / 2.0, ringImageSize / 2.0);
    painter.drawText(centre - ink.center(), label.symbol);
    return image;
}

} // namespace orb
