#include "views/RingGauge.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace orb {

RingGauge::RingGauge(QQuickItem* parent) : QQuickPaintedItem(parent) {
    setAntialiasing(true);
    connect(this, &RingGauge::styleChanged, this, [this] { update(); });
}

void RingGauge::setFraction(double fraction) {
    if (fraction == fraction_)
        return;
    fraction_ = fraction;
    Q_EMIT fractionChanged();
    update();
}

double RingGauge::drawnFraction() const {
    return std::isfinite(fraction_) ? std::clamp(fraction_, 0.0, 1.0) : 0.0;
}

void RingGauge::paint(QPainter* painter) {
    const double side = std::min(width(), height()) - lineWidth_;
    if (side <= 0)
        return;
    const QRectF circle((width() - side) / 2, (height() - side) / 2, side, side);
    painter->setRenderHint(QPainter::Antialiasing);
    QColor track(Qt::white);
    track.setAlphaF(0.1f);
    painter->setPen(QPen(track, lineWidth_));
    painter->drawEllipse(circle);
    const double drawn = drawnFraction();
    if (drawn <= 0)
        return;
    painter->setPen(QPen(color_, lineWidth_, Qt::SolidLine, Qt::RoundCap));
    // QPainter angles are sixteenths of a degree, counter-clockwise from 3 o'clock.
    painter->drawArc(circle, 90 * 16, -static_cast<int>(std::lround(drawn * 360 * 16)));
}

} // namespace orb
