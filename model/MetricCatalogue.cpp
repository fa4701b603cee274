#include "model/MetricCatalogue.h"

#include "model/MetricTable.h"

namespace orb {

namespace {

template <typename Rows> using MetricOf = decltype(Rows::value_type::metric);

template <typename Rows>
std::optional<MetricOf<Rows>> fromRawValue(const Rows& table, QStringView raw) {
    for (const auto& row : table) {
        if (raw == QLatin1StringView(row.raw))
            return row.metric;
    }
    return std::nullopt;
}

template <typename Rows> QList<MetricOf<Rows>> allCases(const Rows& table) {
    QList<MetricOf<Rows>> cases;
    cases.reserve(qsizetype(table.size()));
    for (const auto& row : table)
        cases.append(row.metric);
    return cases;
}

} // namespace

QString rawValue(RingMetric metric) {
    return QString::fromLatin1(metricRow(metric).raw);
}

QString rawValue(NumberMetric metric) {
    return QString::fromLatin1(metricRow(metric).raw);
}

std::optional<RingMetric> ringMetricFromRawValue(QStringView raw) {
    return fromRawValue(ringMetricRows(), raw);
}

std::optional<NumberMetric> numberMetricFromRawValue(QStringView raw) {
    return fromRawValue(numberMetricRows(), raw);
}

const QList<RingMetric>& allRingMetrics() {
    static const QList<RingMetric> cases = allCases(ringMetricRows());
    return cases;
}

const QList<NumberMetric>& allNumberMetrics() {
    static const QList<NumberMetric> cases = allCases(numberMetricRows());
    return cases;
}

QString iconName(NumberMetric metric) {
    return QString::fromLatin1(metricRow(metric).icon);
}

} // namespace orb
