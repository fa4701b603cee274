#include "model/MetricCatalogue.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace orb;

namespace {

template <typename Metric>
void expectCatalogueConsistent(const QList<Metric>& all, qsizetype expectedCount,
                               std::optional<Metric> (*fromRaw)(QStringView)) {
    ASSERT_EQ(all.size(), expectedCount);
    QSet<QString> seen;
    for (qsizetype i = 0; i < all.size(); ++i) {
        // The picker order is the declaration order.
        EXPECT_EQ(static_cast<qsizetype>(all[i]), i);
        const QString raw = rawValue(all[i]);
        EXPECT_FALSE(raw.isEmpty()) << i;
        EXPECT_FALSE(seen.contains(raw)) << "duplicate raw value " << raw.toStdString();
        seen.insert(raw);
        // A stored choice reads back as the same metric.
        EXPECT_EQ(fromRaw(raw), all[i]) << raw.toStdString();
    }
}

} // namespace

TEST(MetricCatalogue, EveryCaseRoundTripsThroughItsUniqueRawValue) {
    expectCatalogueConsistent(allRingMetrics(), 19, &ringMetricFromRawValue);
    expectCatalogueConsistent(allNumberMetrics(), 63, &numberMetricFromRawValue);
    EXPECT_EQ(allRingMetrics().front(), RingMetric::none);
    EXPECT_EQ(allNumberMetrics().front(), NumberMetric::none);
    EXPECT_EQ(allRingMetrics().back(), RingMetric::diskWrite);
    EXPECT_EQ(allNumberMetrics().back(), NumberMetric::thermalState);
}

TEST(MetricCatalogue, LookupIsExactAndCaseSensitive) {
    EXPECT_EQ(ringMetricFromRawValue(u"None"), RingMetric::none);
    EXPECT_EQ(numberMetricFromRawValue(u"None"), NumberMetric::none);

    for (const char16_t* near : {u"none", u"NONE", u"", u" None", u"None ", u"cpu temp",
                                 u"CPU  Temp", u"Time To Full", u"CPU Temp\n"}) {
        EXPECT_EQ(ringMetricFromRawValue(near), std::nullopt);
        EXPECT_EQ(numberMetricFromRawValue(near), std::nullopt);
    }
}

TEST(MetricCatalogue, NamesSharedOrNotBetweenRingAndNumber) {
    // Same text in both enumerations.
    EXPECT_EQ(ringMetricFromRawValue(u"CPU Temp"), RingMetric::cpuTemp);
    EXPECT_EQ(numberMetricFromRawValue(u"CPU Temp"), NumberMetric::cpuTemp);
    EXPECT_EQ(ringMetricFromRawValue(u"Swap Used"), RingMetric::swapUsed);
    EXPECT_EQ(numberMetricFromRawValue(u"Swap Used"), NumberMetric::swapUsed);
    EXPECT_EQ(ringMetricFromRawValue(u"Disk Write"), RingMetric::diskWrite);
    EXPECT_EQ(numberMetricFromRawValue(u"Disk Write"), NumberMetric::diskWrite);

    // Text belonging to only one of them.
    EXPECT_EQ(numberMetricFromRawValue(u"CPU %"), NumberMetric::cpuTotal);
    EXPECT_EQ(ringMetricFromRawValue(u"CPU %"), std::nullopt);
    EXPECT_EQ(ringMetricFromRawValue(u"CPU Total"), RingMetric::cpuTotal);
    EXPECT_EQ(numberMetricFromRawValue(u"CPU Total"), std::nullopt);
    EXPECT_EQ(ringMetricFromRawValue(u"System Load"), RingMetric::netSystemLoad);
    EXPECT_EQ(numberMetricFromRawValue(u"Net System W"), NumberMetric::netSystemLoad);
    EXPECT_EQ(ringMetricFromRawValue(u"Memory Used"), RingMetric::memoryUsed);
    EXPECT_EQ(numberMetricFromRawValue(u"Mem Used"), NumberMetric::memoryUsedBytes);
    EXPECT_EQ(numberMetricFromRawValue(u"Memory Used"), std::nullopt);
}

TEST(MetricCatalogue, StoredNamesWithPunctuationStayStable) {
    // These are written to the settings store; changing them would forget a user's choice.
    EXPECT_EQ(rawValue(NumberMetric::adapterWatts), "Adapter W (max)");
    EXPECT_EQ(rawValue(NumberMetric::wifiRSSI), "Wi-Fi RSSI");
    EXPECT_EQ(rawValue(NumberMetric::cpuPCores), "P-Cores");
    EXPECT_EQ(rawValue(NumberMetric::memoryUsedPct), "Mem Used %");
    EXPECT_EQ(rawValue(RingMetric::gpuDevice), "GPU");
}

TEST(MetricCatalogue, OnlyNoneHasNoSymbol) {
    EXPECT_TRUE(iconName(NumberMetric::none).isEmpty());
    for (NumberMetric metric : allNumberMetrics()) {
        if (metric != NumberMetric::none) {
            EXPECT_FALSE(iconName(metric).isEmpty()) << rawValue(metric).toStdString();
        }
    }
    EXPECT_EQ(iconName(NumberMetric::netSystemLoad), "gauge.with.dots.needle.67percent");
    EXPECT_EQ(iconName(NumberMetric::batteryDraw), "bolt.slash");
}
