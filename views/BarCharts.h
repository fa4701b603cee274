#pragma once

#include <QColor>
#include <QList>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

namespace orb {

// The small history charts of the popover, drawn with QPainter into one texture. Setting a
// series only stores it (the lists are shared, not copied) and schedules a repaint; nothing is
// drawn while the window is hidden.

// One bar per sample on a fixed 0 to 1 scale, filled with a vertical gradient from `color` at
// the bottom to `topColor` at the top (solid when `topColor` is not set).
class MiniBarChart : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QList<double> values READ values WRITE setValues NOTIFY valuesChanged)
    Q_PROPERTY(QColor color MEMBER color_ NOTIFY styleChanged)
    Q_PROPERTY(QColor topColor MEMBER topColor_ NOTIFY styleChanged)

public:
    explicit MiniBarChart(QQuickItem* parent = nullptr);
    const QList<double>& values() const { return values_; }
    void setValues(const QList<double>& values);
    void paint(QPainter* painter) override;

Q_SIGNALS:
    void valuesChanged();
    void styleChanged();

private:
    QList<double> values_;
    QColor color_{Qt::blue};
    QColor topColor_;
};

// Two series around a zero line: `up` rises above it, `down` hangs below it, bar for bar by the
// index of `up`. The scale fits the largest sample of each side. A `down` list shorter than `up`
// (one of the pair just updated) draws nothing below for the missing indices.
class MirroredBarChart : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QList<double> up READ up WRITE setUp NOTIFY seriesChanged)
    Q_PROPERTY(QList<double> down READ down WRITE setDown NOTIFY seriesChanged)
    Q_PROPERTY(QColor upColor MEMBER upColor_ NOTIFY styleChanged)
    Q_PROPERTY(QColor downColor MEMBER downColor_ NOTIFY styleChanged)

public:
    explicit MirroredBarChart(QQuickItem* parent = nullptr);
    const QList<double>& up() const { return up_; }
    const QList<double>& down() const { return down_; }
    void setUp(const QList<double>& values);
    void setDown(const QList<double>& values);
    void paint(QPainter* painter) override;

    // The height of the zero line from the top, for a chart `height` high: the share of the
    // height that the largest upward sample takes of both sides' largest. Middle when both
    // sides are empty or zero.
    static double zeroLine(const QList<double>& up, const QList<double>& down, double height);

Q_SIGNALS:
    void seriesChanged();
    void styleChanged();

private:
    QList<double> up_;
    QList<double> down_;
    QColor upColor_{Qt::blue};
    QColor downColor_{Qt::red};
};

} // namespace orb
