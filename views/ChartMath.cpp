#include "views/ChartMath.h"

#include "monitor/TextFormat.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace orb::chart {

namespace {

// Below this a distance counts as zero: the points coincide.
constexpr double kEpsilon = 1e-9;

double distance(QPointF a, QPointF b) {
    return std::hypot(b.x() - a.x(), b.y() - a.y());
}

// The control point that leaves `from` towards `to`, for the centripetal curve through
// `before`, `from`, `to`. `dBefore` and `dSpan` are the square roots of the chord lengths
// before and across the piece (alpha 0.5). Without a distinct point before, the curve leaves
// along the chord itself, which keeps the first and last pieces from overshooting.
QPointF leavingControl(QPointF before, QPointF from, QPointF to, double dBefore, double dSpan) {
    if (dBefore < kEpsilon)
        return from;
    const double a = 2 * dBefore * dBefore + 3 * dBefore * dSpan + dSpan * dSpan;
    const double n = 3 * dBefore * (dBefore + dSpan);
    return (from * a - before * (dSpan * dSpan) + to * (dBefore * dBefore)) / n;
}

// A round step near `raw`: 1, 2, 2.5 or 5 times a power of ten.
double roundStep(double raw) {
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 2.5, 5.0}) {
        if (raw <= factor * magnitude * (1 + kEpsilon))
            return factor * magnitude;
    }
    return 10 * magnitude;
}

// In units of 1024: the largest power of 1024 not above `span`, so the step reads as a round
// number of KB, MB or GB.
double binaryUnit(double span) {
    return inLargestByteUnit(span).divisor;
}

Scale widened(double lowest, double highest, double step) {
    Scale scale;
    scale.step = step;
    scale.min = std::floor(lowest / step + kEpsilon) * step;
    scale.max = std::ceil(highest / step - kEpsilon) * step;
    if (scale.max - scale.min < step / 2)
        scale.max = scale.min + step;
    return scale;
}

QString compact(double value, double unit, QStringView suffix) {
    return QString::number(value / unit, 'g', 4).append(suffix);
}

} // namespace

std::vector<CurveSegment> smoothCurve(std::span<const QPointF> points) {
    std::vector<CurveSegment> segments;
    if (points.size() < 2)
        return segments;
    segments.reserve(points.size() - 1);
    const auto last = points.size() - 1;
    for (std::size_t i = 0; i < last; ++i) {
        const QPointF p1 = points[i];
        const QPointF p2 = points[i + 1];
        // The ends have no neighbour beyond them: repeat the end point.
        const QPointF p0 = i > 0 ? points[i - 1] : p1;
        const QPointF p3 = i + 2 <= last ? points[i + 2] : p2;
        const double d01 = std::sqrt(distance(p0, p1));
        const double d12 = std::sqrt(distance(p1, p2));
        const double d23 = std::sqrt(distance(p2, p3));
        segments.push_back(
            {leavingControl(p0, p1, p2, d01, d12), leavingControl(p3, p2, p1, d23, d12), p2});
    }
    return segments;
}

QList<double> Scale::ticks() const {
    QList<double> ticks;
    if (!(step > 0) || !std::isfinite(min) || !std::isfinite(max))
        return ticks;
    const auto count = qsizetype(std::floor((max - min) / step + 1e-6));
    for (qsizetype k = 0; k <= count && k < 100; ++k)
        ticks.append(min + double(k) * step);
    return ticks;
}

Scale autoScale(double lowest, double highest, int tickCount, bool binary) {
    lowest = std::isfinite(lowest) ? std::min(lowest, 0.0) : 0.0;
    highest = std::isfinite(highest) ? std::max(highest, 0.0) : 0.0;
    const double span = highest - lowest;
    // Rates of a few bytes a second are noise: an idle link reads 0 to 1 KB, not in fractions
    // of a byte.
    if (binary && span < 4)
        return autoScale(lowest, lowest + 1024, tickCount, true);
    if (span <= 0)
        return fixedScale(0, 1, tickCount);
    const double unit = binary ? binaryUnit(span) : 1.0;
    const double step = roundStep(span / unit / std::max(tickCount, 1)) * unit;
    return widened(lowest, highest, step);
}

Scale fixedScale(double min, double max, int tickCount) {
    Scale scale;
    scale.min = min;
    scale.max = max > min ? max : min + 1;
    scale.step = roundStep((scale.max - scale.min) / std::max(tickCount, 1));
    return scale;
}

QString numberTick(double value) {
    const double size = std::abs(value);
    if (size >= 1e9)
        return compact(value, 1e9, u"G");
    if (size >= 1e6)
        return compact(value, 1e6, u"M");
    if (size >= 1e3)
        return compact(value, 1e3, u"k");
    return QString::number(std::abs(value) < kEpsilon ? 0.0 : value, 'g', 4);
}

QString byteTick(double value) {
    const double size = std::abs(value);
    if (size < kEpsilon)
        return QStringLiteral("0");
    const ByteAmount scaled = inLargestByteUnit(size);
    return compact(value, scaled.divisor, byteUnitName(scaled.unit));
}

} // namespace orb::chart
