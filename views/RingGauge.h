#pragma once

#include <QColor>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

namespace orb {

// A ring: a faint full circle and, over it, an arc from 12 o'clock clockwise over `fraction`
// of the circle (clamped to 0..1) with round caps.
class RingGauge : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(double fraction READ fraction WRITE setFraction NOTIFY fractionChanged)
    Q_PROPERTY(QColor color MEMBER color_ NOTIFY styleChanged)
    Q_PROPERTY(double lineWidth MEMBER lineWidth_ NOTIFY styleChanged)

public:
    explicit RingGauge(QQuickItem* parent = nullptr);
    double fraction() const { return fraction_; }
    void setFraction(double fraction);
    // The share of the circle the arc covers.
    double drawnFraction() const;
    void paint(QPainter* painter) override;

Q_SIGNALS:
    void fractionChanged();
    void styleChanged();

private:
    double fraction_ = 0;
    QColor color_{Qt::blue};
    double lineWidth_ = 8;
};

} // namespace orb
