#include "views/BarCharts.h"

#include <QLinearGradient>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace orb {

namespace {

// Share of each slot a bar fills; the rest is the gap to the next bar.
constexpr double kBarShare = 0.7;

double largest(const QList<double>& values) {
    double most = 0;
    for (double v : values) {
        if (std::isfinite(v))
            most = std::max(most, v);
    }
    return most;
}

// A sample clamped to [0, 1] of `scale`; garbage draws as nothing.
double share(double value, double scale) {
    if (!std::isfinite(value) || scale <= 0)
        return 0;
    return std::clamp(value / scale, 0.0, 1.0);
}

} // namespace

MiniBarChart::MiniBarChart(QQuickItem* parent) : QQuickPaintedItem(parent) {
    setAntialiasing(true);
    connect(this, &MiniBarChart::styleChanged, this, [this] { update(); });
}

void MiniBarChart::setValues(const QList<double>& values) {
    values_ = values;
    Q_EMIT valuesChanged();
    update();
}

void MiniBarChart::paint(QPainter* painter) {
    const qsizetype count = values_.size();
    if (count == 0 || width() <= 0 || height() <= 0)
        return;
    const double slot = width() / double(count);
    const double barWidth = slot * kBarShare;
    QBrush brush(color_);
    if (topColor_.isValid()) {
        QLinearGradient gradient(0, height(), 0, 0);
        gradient.setColorAt(0, color_);
        gradient.setColorAt(1, topColor_);
        brush = QBrush(gradient);
    }
    painter->setPen(Qt::NoPen);
    painter->setBrush(brush);
    for (qsizetype i = 0; i < count; ++i) {
        const double barHeight = share(values_[i], 1.0) * height();
        if (barHeight > 0)
            painter->drawRect(QRectF(i * slot + (slot - barWidth) / 2, height() - barHeight,
                                     barWidth, barHeight));
    }
}

MirroredBarChart::MirroredBarChart(QQuickItem* parent) : QQuickPaintedItem(parent) {
    setAntialiasing(true);
    connect(this, &MirroredBarChart::styleChanged, this, [this] { update(); });
}

void MirroredBarChart::setUp(const QList<double>& values) {
    up_ = values;
    Q_EMIT seriesChanged();
    update();
}

void MirroredBarChart::setDown(const QList<double>& values) {
    down_ = values;
    Q_EMIT seriesChanged();
    update();
}

double MirroredBarChart::zeroLine(const QList<double>& up, const QList<double>& down,
                                  double height) {
    const double top = largest(up);
    const double bottom = largest(down.mid(0, up.size()));
    if (top + bottom <= 0)
        return height / 2;
    return height * top / (top + bottom);
}

void MirroredBarChart::paint(QPainter* painter) {
    const qsizetype count = up_.size();
    if (count == 0 || width() <= 0 || height() <= 0)
        return;
    const double zero = zeroLine(up_, down_, height());
    const double upScale = largest(up_);
    const double downScale = largest(down_.mid(0, count));
    const double slot = width() / double(count);
    const double barWidth = slot * kBarShare;
    painter->setPen(Qt::NoPen);
    for (qsizetype i = 0; i < count; ++i) {
        const double left = i * slot + (slot - barWidth) / 2;
        const double upHeight = share(up_[i], upScale) * zero;
        if (upHeight > 0)
            painter->fillRect(QRectF(left, zero - upHeight, barWidth, upHeight), upColor_);
        const double downValue = i < down_.size() ? down_[i] : 0;
        const double downHeight = share(downValue, downScale) * (height() - zero);
        if (downHeight > 0)
            painter->fillRect(QRectF(left, zero, barWidth, downHeight), downColor_);
    }
}

} // namespace orb
