#pragma once

#include "views/ChartMath.h"

#include <QColor>
#include <QList>
#include <QQmlListProperty>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

namespace orb {

// One history drawn on a HistoryChart: its samples over their index, as a line (straight between
// samples, or a smooth spline through them), an area down to zero (straight), or both.
class ChartSeries : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QList<double> values READ values WRITE setValues NOTIFY changed)
    Q_PROPERTY(QColor color MEMBER color_ NOTIFY changed)
    Q_PROPERTY(bool line MEMBER line_ NOTIFY changed)
    Q_PROPERTY(bool smooth MEMBER smooth_ NOTIFY changed)
    Q_PROPERTY(double lineWidth MEMBER lineWidth_ NOTIFY changed)
    // The area's opacity at the top and at the bottom of the plot: equal for a flat fill, both
    // 0 (the default) for no area.
    Q_PROPERTY(double fillTopOpacity MEMBER fillTopOpacity_ NOTIFY changed)
    Q_PROPERTY(double fillBottomOpacity MEMBER fillBottomOpacity_ NOTIFY changed)
    // The area is painted over the line rather than under it.
    Q_PROPERTY(bool fillOverLine MEMBER fillOverLine_ NOTIFY changed)
    // Samples are drawn below zero: the lower half of a mirrored chart.
    Q_PROPERTY(bool negated MEMBER negated_ NOTIFY changed)

public:
    using QObject::QObject;

    const QList<double>& values() const { return values_; }
    void setValues(const QList<double>& values);
    QColor color() const { return color_; }
    bool line() const { return line_; }
    bool smooth() const { return smooth_; }
    double lineWidth() const { return lineWidth_; }
    double fillTopOpacity() const { return fillTopOpacity_; }
    double fillBottomOpacity() const { return fillBottomOpacity_; }
    bool fillOverLine() const { return fillOverLine_; }
    bool hasFill() const { return fillTopOpacity_ > 0 || fillBottomOpacity_ > 0; }
    // Sample `index` as drawn: negated when asked, and 0 for a sample that is not a number.
    double drawnValue(qsizetype index) const;

Q_SIGNALS:
    void changed();

private:
    QList<double> values_;
    QColor color_{Qt::blue};
    bool line_ = true;
    bool smooth_ = false;
    double lineWidth_ = 2;
    double fillTopOpacity_ = 0;
    double fillBottomOpacity_ = 0;
    bool fillOverLine_ = false;
    bool negated_ = false;
};

// A horizontal line across the plot at one value, solid or dashed 4 on, 4 off.
class ChartRule : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(double value MEMBER value_ NOTIFY changed)
    Q_PROPERTY(QColor color MEMBER color_ NOTIFY changed)
    Q_PROPERTY(double lineWidth MEMBER lineWidth_ NOTIFY changed)
    Q_PROPERTY(bool dashed MEMBER dashed_ NOTIFY changed)

public:
    using QObject::QObject;
    double value() const { return value_; }
    QColor color() const { return color_; }
    double lineWidth() const { return lineWidth_; }
    bool dashed() const { return dashed_; }

Q_SIGNALS:
    void changed();

private:
    double value_ = 0;
    QColor color_{Qt::white};
    double lineWidth_ = 1;
    bool dashed_ = false;
};

// The history charts of the detail pages, drawn with QPainter into one texture. The first
// series sets the time axis: later series draw only the indices it has, so a pair whose second
// list is momentarily shorter or longer still draws. The vertical scale is either fixed
// (`autoScale` false, `minimum` to `maximum`) or fits every drawn value and 0.
class HistoryChart : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_CLASSINFO("DefaultProperty", "series")
    Q_PROPERTY(QQmlListProperty<orb::ChartSeries> series READ series CONSTANT)
    Q_PROPERTY(QQmlListProperty<orb::ChartRule> rules READ rules CONSTANT)
    Q_PROPERTY(bool autoScale MEMBER autoScale_ NOTIFY contentChanged)
    Q_PROPERTY(double minimum MEMBER minimum_ NOTIFY contentChanged)
    Q_PROPERTY(double maximum MEMBER maximum_ NOTIFY contentChanged)
    Q_PROPERTY(TickFormat tickFormat MEMBER tickFormat_ NOTIFY contentChanged)
    // A unit written over the top of the value axis ("%", "W"); none when empty.
    Q_PROPERTY(QString axisLabel MEMBER axisLabel_ NOTIFY contentChanged)
    Q_PROPERTY(bool timeAxisVisible MEMBER timeAxisVisible_ NOTIFY contentChanged)
    // The value range in use, for readers of the chart.
    Q_PROPERTY(double scaleMin READ scaleMin NOTIFY contentChanged)
    Q_PROPERTY(double scaleMax READ scaleMax NOTIFY contentChanged)

public:
    // How value ticks read: plain numbers, fractions as whole percentages ("50%", or "50" when
    // the axis label already says "%"), or byte counts ("2 MB").
    enum class TickFormat { Number, Percent, Bytes };
    Q_ENUM(TickFormat)

    explicit HistoryChart(QQuickItem* parent = nullptr);

    QQmlListProperty<ChartSeries> series();
    QQmlListProperty<ChartRule> rules();
    const QList<ChartSeries*>& seriesList() const { return series_; }
    double scaleMin() const { return scale().min; }
    double scaleMax() const { return scale().max; }
    chart::Scale scale() const;
    // Where the samples are drawn, inside the room left for the tick labels.
    QRectF plotArea() const;
    void paint(QPainter* painter) override;

Q_SIGNALS:
    // Any input of the drawing changed: a series, a rule or a setting.
    void contentChanged();

private:
    static void appendSeries(QQmlListProperty<ChartSeries>* list, ChartSeries* series);
    static void appendRule(QQmlListProperty<ChartRule>* list, ChartRule* rule);
    // How many samples each series draws: those of the first series.
    qsizetype sampleCount() const;
    QString valueTick(double value) const;
    void drawGrid(QPainter* painter, const QRectF& plot, const chart::Scale& scale) const;
    void drawSeries(QPainter* painter, const ChartSeries& series, const QRectF& plot,
                    const chart::Scale& scale) const;

    QList<ChartSeries*> series_;
    QList<ChartRule*> rules_;
    bool autoScale_ = true;
    double minimum_ = 0;
    double maximum_ = 1;
    TickFormat tickFormat_ = TickFormat::Number;
    QString axisLabel_;
    bool timeAxisVisible_ = true;
};

} // namespace orb
