#include "model/MetricCatalogue.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace orb;

namespace {

// The pickers list the metrics in declaration order, from `none` to `last`, and every stored
// name reads back as the metric that wrote it.
template <typename Metric>
void expectCatalogue(const QList<Metric>& all, qsizetype count, Metric last,
                     std::optional<Metric> (*fromRaw)(QStringView)) {
    ASSERT_EQ(all.size(), count);
    EXPECT_EQ(all.front(), Metric::none);
    EXPECT_EQ(all.back(), last);
    QSet<QString> seen;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const QString raw = rawValue(all[i]);
        EXPECT_EQ(static_cast<qsizetype>(all[i]), i);
        EXPECT_FALSE(raw.isEmpty() || seen.contains(raw)) << "empty or repeated: " << i;
        EXPECT_EQ(fromRaw(raw), all[i]) << raw.toStdString();
        seen.insert(raw);
    }
}

} // namespace

TEST(MetricCatalogue, EveryMetricHasItsOwnNameInPickerOrder) {
    expectCatalogue(allRingMetrics(), 19, RingMetric::diskWrite, &ringMetricFromRawValue);
    expectCatalogue(allNumberMetrics(), 63, NumberMetric::thermalState, &numberMetricFromRawValue);
    // Only `none` goes without a symbol.
    for (NumberMetric metric : allNumberMetrics())
        EXPECT_EQ(iconName(metric).isEmpty(), metric == NumberMetric::none)
            << rawValue(metric).toStdString();
}

TEST(MetricCatalogue, LookupIsExactCaseSensitiveAndOfItsOwnKind) {
    for (const char16_t* near : {u"none", u"NONE", u"", u" None", u"None ", u"cpu temp",
                                 u"CPU  Temp", u"Time To Full", u"CPU Temp\n"}) {
        EXPECT_EQ(ringMetricFromRawValue(near), std::nullopt);
        EXPECT_EQ(numberMetricFromRawValue(near), std::nullopt);
    }
    // Some names are shared, others belong to rings or numbers only.
    EXPECT_EQ(ringMetricFromRawValue(u"CPU Temp"), RingMetric::cpuTemp);
    EXPECT_EQ(numberMetricFromRawValue(u"CPU Temp"), NumberMetric::cpuTemp);
    EXPECT_EQ(ringMetricFromRawValue(u"CPU %"), std::nullopt);
    EXPECT_EQ(numberMetricFromRawValue(u"CPU Total"), std::nullopt);
    EXPECT_EQ(numberMetricFromRawValue(u"Memory Used"), std::nullopt);
}
