#pragma once

#include "model/MetricCatalogue.h"
#include "monitor/TextFormat.h"

#include <QString>
#include <QtGlobal>

namespace orb {

class SystemMonitor;

// How much of a ring the metric fills, from the monitor's current readings. Normally 0 to 1;
// nothing is clamped from below, and the used-memory share is not clamped at all.
double ringFraction(const SystemMonitor& monitor, RingMetric metric);

// The text of the icon's number. Empty only for `none` and for an empty remaining-time text;
// a missing reading, or one this machine does not measure, gives the placeholder.
QString numberText(const SystemMonitor& monitor, NumberMetric metric);

// A fraction as a whole percentage, truncated toward zero and not clamped: 0.456 is "45%",
// 1.5 is "150%". A value beyond what a 64-bit integer holds, or not a number, gives the
// placeholder.
QString wholePercent(double fraction);

// An uptime as "3d 4h", "2h 15m" or "42m"; the placeholder below one second.
QString formatUptime(qint64 seconds);

} // namespace orb
