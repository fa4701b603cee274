#include "views/HistoryChart.h"

#include "views/Theme.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace orb {

namespace {

// Gap between the plot and its tick labels.
constexpr double kLabelGap = 5;
constexpr double kGridOpacity = 0.12;

QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(float(std::clamp(color.alphaF() * opacity, 0.0, 1.0)));
    return color;
}

QFont tickFont() {
    QFont font;
    font.setPixelSize(text_style::caption.pixelSize);
    return font;
}

} // namespace

void ChartSeries::setValues(const QList<double>& values) {
    values_ = values;
    Q_EMIT changed();
}

double ChartSeries::drawnValue(qsizetype index) const {
    const double value = values_.value(index);
    if (!std::isfinite(value))
        return 0;
    return negated_ ? -value : value;
}

HistoryChart::HistoryChart(QQuickItem* parent) : QQuickPaintedItem(parent) {
    setAntialiasing(true);
    connect(this, &HistoryChart::contentChanged, this, [this] { update(); });
}

QQmlListProperty<ChartSeries> HistoryChart::series() {
    return {this,
            &series_,
            &HistoryChart::appendSeries,
            [](QQmlListProperty<ChartSeries>* list) {
                return static_cast<QList<ChartSeries*>*>(list->data)->size();
            },
            [](QQmlListProperty<ChartSeries>* list, qsizetype index) {
                return static_cast<QList<ChartSeries*>*>(list->data)->at(index);
            },
            nullptr};
}

QQmlListProperty<ChartRule> HistoryChart::rules() {
    return {this,
            &rules_,
            &HistoryChart::appendRule,
            [](QQmlListProperty<ChartRule>* list) {
                return static_cast<QList<ChartRule*>*>(list->data)->size();
            },
            [](QQmlListProperty<ChartRule>* list, qsizetype index) {
                return static_cast<QList<ChartRule*>*>(list->data)->at(index);
            },
            nullptr};
}

void HistoryChart::appendSeries(QQmlListProperty<ChartSeries>* list, ChartSeries* series) {
    auto* chart = static_cast<HistoryChart*>(list->object);
    if (!series)
        return;
    chart->series_.append(series);
    connect(series, &ChartSeries::changed, chart, &HistoryChart::contentChanged);
    connect(series, &QObject::destroyed, chart,
            [chart, series] { chart->series_.removeAll(series); });
    Q_EMIT chart->contentChanged();
}

void HistoryChart::appendRule(QQmlListProperty<ChartRule>* list, ChartRule* rule) {
    auto* chart = static_cast<HistoryChart*>(list->object);
    if (!rule)
        return;
    chart->rules_.append(rule);
    connect(rule, &ChartRule::changed, chart, &HistoryChart::contentChanged);
    connect(rule, &QObject::destroyed, chart, [chart, rule] { chart->rules_.removeAll(rule); });
    Q_EMIT chart->contentChanged();
}

qsizetype HistoryChart::sampleCount() const {
    return series_.isEmpty() ? 0 : series_.first()->values().size();
}

chart::Scale HistoryChart::scale() const {
    // A low chart has room for fewer ticks.
    const int tickCount = height() < 120 ? 2 : 4;
    if (!autoScale_)
        return chart::fixedScale(minimum_, maximum_, tickCount);
    double lowest = 0;
    double highest = 0;
    const qsizetype count = sampleCount();
    for (const ChartSeries* series : series_) {
        const qsizetype drawn = std::min(count, series->values().size());
        for (qsizetype i = 0; i < drawn; ++i) {
            lowest = std::min(lowest, series->drawnValue(i));
            highest = std::max(highest, series->drawnValue(i));
        }
    }
    return chart::autoScale(lowest, highest, tickCount, tickFormat_ == TickFormat::Bytes);
}

QString HistoryChart::valueTick(double value) const {
    switch (tickFormat_) {
    case TickFormat::Percent: {
        const QString number = QString::number(std::lround(value * 100));
        return axisLabel_ == QLatin1String("%") ? number : number + QLatin1Char('%');
    }
    case TickFormat::Bytes:
        return chart::byteTick(value);
    case TickFormat::Number:
        break;
    }
    return chart::numberTick(value);
}

QRectF HistoryChart::plotArea() const {
    const QFontMetricsF metrics(tickFont());
    double labelWidth = 0;
    for (double tick : scale().ticks())
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(valueTick(tick)));
    // Half a line above and below, so the top and bottom value ticks are not cut; a whole
    // line more for the axis label over the top tick, and for the time ticks.
    const double top = metrics.height() / 2 + (axisLabel_.isEmpty() ? 0 : metrics.height());
    const double bottom = timeAxisVisible_ ? metrics.height() + kLabelGap : metrics.height() / 2;
    return QRectF(1, top, std::max(0.0, width() - labelWidth - kLabelGap - 1),
                  std::max(0.0, height() - top - bottom));
}

void HistoryChart::paint(QPainter* painter) {
    const QRectF plot = plotArea();
    if (plot.width() <= 0 || plot.height() <= 0)
        return;
    painter->setRenderHint(QPainter::Antialiasing);
    const chart::Scale scale = this->scale();
    drawGrid(painter, plot, scale);

    const auto valueY = [&](double value) {
        return plot.bottom() - (value - scale.min) / (scale.max - scale.min) * plot.height();
    };
    painter->save();
    painter->setClipRect(plot);
    for (const ChartRule* rule : std::as_const(rules_)) {
        QPen pen(rule->color(), rule->lineWidth());
        if (rule->dashed())
            pen.setDashPattern({4 / rule->lineWidth(), 4 / rule->lineWidth()});
        pen.setCapStyle(Qt::FlatCap);
        painter->setPen(pen);
        const double y = valueY(rule->value());
        painter->drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }
    painter->restore();

    for (const ChartSeries* series : std::as_const(series_))
        drawSeries(painter, *series, plot, scale);

    if (!axisLabel_.isEmpty()) {
        painter->setFont(tickFont());
        painter->setPen(Theme().secondaryText());
        painter->drawText(QRectF(0, 0, width(), QFontMetricsF(tickFont()).height()),
                          Qt::AlignRight | Qt::AlignTop, axisLabel_);
    }
}

void HistoryChart::drawGrid(QPainter* painter, const QRectF& plot,
                            const chart::Scale& scale) const {
    const QFontMetricsF metrics(tickFont());
    const QColor grid = withOpacity(Qt::white, kGridOpacity);
    const QColor label = Theme().secondaryText();
    painter->setFont(tickFont());
    for (double tick : scale.ticks()) {
        const double y =
            plot.bottom() - (tick - scale.min) / (scale.max - scale.min) * plot.height();
        painter->setPen(QPen(grid, 1));
        painter->drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter->setPen(label);
        painter->drawText(QRectF(plot.right() + kLabelGap, y - metrics.height() / 2,
                                 width() - plot.right() - kLabelGap, metrics.height()),
                          Qt::AlignLeft | Qt::AlignVCenter, valueTick(tick));
    }
    const qsizetype count = sampleCount();
    if (!timeAxisVisible_ || count < 2)
        return;
    const chart::Scale time = chart::autoScale(0, double(count - 1), 5);
    for (double tick : time.ticks()) {
        if (tick > double(count - 1))
            break;
        const double x = plot.left() + tick / double(count - 1) * plot.width();
        painter->setPen(QPen(grid, 1));
        painter->drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        painter->setPen(label);
        const QString text = QString::number(std::lround(tick));
        const double textWidth = metrics.horizontalAdvance(text);
        // The first and last labels stay inside the chart.
        const double left = std::clamp(x - textWidth / 2, 0.0, width() - textWidth);
        painter->drawText(
            QRectF(left, plot.bottom() + kLabelGap / 2, textWidth + 1, metrics.height()),
            Qt::AlignLeft | Qt::AlignTop, text);
    }
}

void HistoryChart::drawSeries(QPainter* painter, const ChartSeries& series, const QRectF& plot,
                              const chart::Scale& scale) const {
    const qsizetype count = std::min(sampleCount(), series.values().size());
    if (count < 2)
        return;
    const double span = scale.max - scale.min;
    const double step = plot.width() / double(sampleCount() - 1);
    QList<QPointF> points;
    points.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const double value = series.drawnValue(i);
        points.append(QPointF(plot.left() + double(i) * step,
                              plot.bottom() - (value - scale.min) / span * plot.height()));
    }
    QPainterPath straight(points.first());
    for (qsizetype i = 1; i < points.size(); ++i)
        straight.lineTo(points[i]);
    QPainterPath curve = straight;
    if (series.smooth()) {
        curve = QPainterPath(points.first());
        for (const chart::CurveSegment& segment :
             chart::smoothCurve({points.constData(), std::size_t(points.size())}))
            curve.cubicTo(segment.control1, segment.control2, segment.end);
    }

    const auto drawFill = [&] {
        const double zeroY = plot.bottom() - (0 - scale.min) / span * plot.height();
        QPainterPath area = straight;
        area.lineTo(points.last().x(), zeroY);
        area.lineTo(points.first().x(), zeroY);
        area.closeSubpath();
        QLinearGradient gradient(0, plot.top(), 0, plot.bottom());
        gradient.setColorAt(0, withOpacity(series.color(), series.fillTopOpacity()));
        gradient.setColorAt(1, withOpacity(series.color(), series.fillBottomOpacity()));
        painter->save();
        painter->setClipRect(plot);
        painter->fillPath(area, gradient);
        painter->restore();
    };
    const auto drawLine = [&] {
        // The stroke may reach half its width past the plot, as a line on the edge does; an
        // overshoot of the curve beyond the scale never shows.
        const double half = series.lineWidth() / 2;
        painter->save();
        painter->setClipRect(plot.adjusted(-half, -half, half, half));
        QPen pen(series.color(), series.lineWidth());
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        painter->strokePath(curve, pen);
        painter->restore();
    };
    const bool fill = series.hasFill();
    if (fill && !series.fillOverLine())
        drawFill();
    if (series.line())
        drawLine();
    if (fill && series.fillOverLine())
        drawFill();
}

} // namespace orb
