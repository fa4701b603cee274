#pragma once

#include "model/MetricCatalogue.h"
#include "monitor/SystemMonitor.h"

#include <QString>
#include <span>

namespace orb {

// Everything about one metric of the tray icon in one row: the name it is stored and offered
// under, and how it is read from the monitor.
struct RingMetricRow {
    RingMetric metric;
    const char* raw;
    double (*fraction)(const SystemMonitor&); // how much of the ring it fills
};

struct NumberMetricRow {
    NumberMetric metric;
    const char* raw;
    const char* icon;               // the symbol drawn in front of the number
    const char16_t* guide;          // the widest text it shows, for hosts that keep room for it
    SystemMonitor::Reading reading; // the reading behind it; null for `none`
    QString (*text)(const SystemMonitor&);
};

// Every row in declaration order, `none` first: a row's index is its enumerator's value.
std::span<const RingMetricRow> ringMetricRows();
std::span<const NumberMetricRow> numberMetricRows();

// The metric's row; a value outside the enumeration gets `none`'s.
const RingMetricRow& metricRow(RingMetric metric);
const NumberMetricRow& metricRow(NumberMetric metric);

} // namespace orb
