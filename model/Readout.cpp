#include "model/Readout.h"

#include "model/MetricTable.h"
#include "monitor/SystemMonitor.h"

namespace orb {

QString wholePercent(double fraction) {
    const double scaled = fraction * 100.0;
    // 2^63 bounds what a 64-bit integer holds; the comparisons are false for NaN.
    constexpr double int64Limit = 9223372036854775808.0;
    if (!(scaled >= -int64Limit && scaled < int64Limit))
        return placeholder();
    return QString::number(static_cast<qint64>(scaled)) + u'%';
}

double ringFraction(const SystemMonitor& m, RingMetric metric) {
    return metricRow(metric).fraction(m);
}

QString numberText(const SystemMonitor& m, NumberMetric metric) {
    const NumberMetricRow& row = metricRow(metric);
    // A figure this machine does not give has no number, whatever its field holds.
    if (row.reading && !m.isMeasured(row.reading))
        return placeholder();
    return row.text(m);
}

QString formatUptime(qint64 seconds) {
    if (seconds < 1)
        return placeholder();
    const qint64 days = seconds / 86400;
    const qint64 hours = (seconds % 86400) / 3600;
    const qint64 minutes = (seconds % 3600) / 60;
    if (seconds >= 86400)
        return QStringLiteral("%1d %2h").arg(days).arg(hours);
    if (seconds % 86400 < 3600)
        return QStringLiteral("%1m").arg(minutes);
    return QStringLiteral("%1h %2m").arg(hours).arg(minutes);
}

} // namespace orb
