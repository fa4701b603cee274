#pragma once

#include <QList>
#include <QPointF>
#include <QString>
#include <span>
#include <vector>

namespace orb::chart {

// One cubic Bézier piece of a smooth line; it starts where the previous piece ended.
struct CurveSegment {
    QPointF control1;
    QPointF control2;
    QPointF end;
};

// The smooth line through `points`: a centripetal Catmull-Rom curve (alpha 0.5), one cubic piece
// from each point to the next, so it passes exactly through every point. Centripetal spacing
// keeps the curve from looping or forming cusps where samples bunch up; repeated equal points
// give a flat piece, never NaN. Fewer than two points give no pieces.
std::vector<CurveSegment> smoothCurve(std::span<const QPointF> points);

// A value range and the tick marks on it, widened to whole steps around the data.
struct Scale {
    double min = 0;
    double max = 1;
    double step = 0.25;
    QList<double> ticks() const;
};

// The scale of an automatic axis: the smallest and largest values, always including 0 so that
// a zero rule sits where positive and negative halves meet, widened to round steps with about
// `tickCount` ticks. With `binary`, steps are round in units of 1024 (1 KB, 256 MB) for byte
// counts. All zero (or nothing) gives 0 to 1.
Scale autoScale(double lowest, double highest, int tickCount, bool binary = false);

// A fixed range with about `tickCount` round steps inside it.
Scale fixedScale(double min, double max, int tickCount);

// Tick texts: plain numbers as "%g" with k/M/G for thousands, and byte counts in binary units
// as "512 KB", "1.5 MB".
QString numberTick(double value);
QString byteTick(double value);

} // namespace orb::chart
