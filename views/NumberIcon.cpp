#include "views/NumberIcon.h"

#include "views/LabelRenderer.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <cmath>

namespace orb {

namespace {

// Room left around the text so it does not touch its neighbours in the panel.
constexpr double margin = 0.5;
constexpr double lineGap = 1.5;

QFont numberFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    // Drawn as an outline and scaled to fit, so the size only sets the outline's precision.
    font.setPixelSize(100);
    font.setWeight(QFont::DemiBold);
    return font;
}

// Fills `text` into `box` as large as it fits. Digits and capitals fill the box's height (the
// font's cap height, not the ink, so "mA" and "MB" come out at the same size); the text is
// centred on its ink across and on the cap band up and down.
void drawFitted(QPainter& painter, const QString& text, const QRectF& box) {
    const QFont font = numberFont();
    QPainterPath outline;
    outline.addText(QPointF(0, 0), font, text);
    const QRectF ink = outline.boundingRect();
    const double capHeight = QFontMetricsF(font).capHeight();
    if (ink.isEmpty() || capHeight <= 0)
        return;
    const double scale = std::min(box.width() / ink.width(), box.height() / capHeight);
    QTransform transform;
    transform.translate(box.center().x() - ink.center().x() * scale,
                        box.center().y() + capHeight / 2 * scale);
    transform.scale(scale, scale);
    painter.drawPath(transform.map(outline));
}

} // namespace

std::optional<std::pair<QString, QString>> splitValueAndUnit(const QString& text) {
    static const QRegularExpression valueThenUnit(QStringLiteral(
        "^([-+]?[0-9]+(?:\\.[0-9]+)?) ?((?=[^0-9]*[\\p{L}%])[^0-9\\s,:.][^0-9,:]*)$"));
    const QRegularExpressionMatch match = valueThenUnit.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return std::pair(match.captured(1), match.captured(2));
}

QImage renderNumberIcon(const QString& text, const QColor& textColor, qreal devicePixelRatio) {
    if (text.isEmpty())
        return {};
    const qreal ratio =
        devicePixelRatio > 0 && std::isfinite(devicePixelRatio) ? devicePixelRatio : 1.0;
    QImage image(QSize(qCeil(ringImageSize * ratio), qCeil(ringImageSize * ratio)),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    if (!painter.isActive())
        return image;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(textColor);

    const QRectF square(margin, margin, ringImageSize - 2 * margin, ringImageSize - 2 * margin);
    if (const auto parts = splitValueAndUnit(text)) {
        const double lineHeight = (square.height() - lineGap) / 2;
        drawFitted(painter, parts->first,
                   QRectF(square.topLeft(), QSizeF(square.width(), lineHeight)));
        drawFitted(painter, parts->second,
                   QRectF(square.left(), square.bottom() - lineHeight, square.width(), lineHeight));
    } else {
        drawFitted(painter, text, square);
    }
    return image;
}

} // namespace orb
