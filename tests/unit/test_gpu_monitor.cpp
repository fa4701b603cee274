#include "fakes/FakeDeviceRegistry.h"
#include "sensors/GPUMonitor.h"

#include <gtest/gtest.h>

using namespace orb;
using orb::testing::FakeDeviceRegistry;
using platform::PropertyTable;

namespace {

PropertyTable withStatistics(PropertyTable statistics, PropertyTable top = {}) {
    top.set("PerformanceStatistics", std::move(statistics));
    return top;
}

} // namespace

TEST(GPUMonitor, PercentagesAreMeansAndCountsAreSumsOverTheAcceleratorsWithStatistics) {
    struct Case {
        const char* name;
        std::vector<std::optional<PropertyTable>> accelerators;
        GPUStats expected;
    };
    const Case cases[] = {
        {"one accelerator",
         {withStatistics({{"Device Utilization %", 37},
                          {"Renderer Utilization %", 20},
                          {"Tiler Utilization %", 5}})},
         {0.37, 0.2, 0.05}},
        {"GPU Activity stands in for a missing or mistyped device utilisation",
         {withStatistics({{"GPU Activity", 50}}),
          withStatistics({{"Device Utilization %", "70"}, {"GPU Activity", 30}})},
         {0.4}},
        {"an empty statistics table counts with zeros; one without any does not count",
         {withStatistics({}), withStatistics({{"Device Utilization %", 40}}),
          PropertyTable{{"model", "no statistics"}}, std::nullopt},
         {0.2, 0, 0, 0, 0, 0, "no statistics"}},
        {"memory, recoveries and power are summed; values of the wrong kind add nothing",
         {withStatistics({{"In use system memory", std::int64_t(1) << 40},
                          {"Alloc system memory", 2048},
                          {"recoveryCount", 2}},
                         {{"PowerWatts", 36.5}}),
          withStatistics(
              {{"In use system memory", 512}, {"Alloc system memory", 1.5}, {"recoveryCount", 1}},
              {{"PowerWatts", 4}}),
          PropertyTable{{"PowerWatts", "9"}}},
         {0, 0, 0, (std::int64_t(1) << 40) + 512, 2048, 0, {}, 3, 40.5}},
        {"the first non-zero core count and non-empty model stay",
         {PropertyTable{{"gpu-core-count", 0}, {"model", ""}},
          PropertyTable{{"gpu-core-count", 10}, {"model", 7}},
          PropertyTable{{"gpu-core-count", 16}, {"model", "Second"}},
          PropertyTable{{"model", "Third"}}},
         {0, 0, 0, 0, 0, 10, "Second"}},
        {"no accelerator", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDeviceRegistry registry;
        registry.services["IOAccelerator"] = c.accelerators;
        const auto stats = GPUMonitor::readStats(registry);
        EXPECT_DOUBLE_EQ(stats.utilization, c.expected.utilization);
        EXPECT_DOUBLE_EQ(stats.rendererUtil, c.expected.rendererUtil);
        EXPECT_DOUBLE_EQ(stats.tilerUtil, c.expected.tilerUtil);
        EXPECT_EQ(stats.memoryUsed, c.expected.memoryUsed);
        EXPECT_EQ(stats.memoryAllocated, c.expected.memoryAllocated);
        EXPECT_EQ(stats.coreCount, c.expected.coreCount);
        EXPECT_EQ(stats.modelName, c.expected.modelName);
        EXPECT_EQ(stats.recoveryCount, c.expected.recoveryCount);
        EXPECT_DOUBLE_EQ(stats.powerWatts, c.expected.powerWatts);
        EXPECT_EQ(registry.unreleased, 0);
    }

    FakeDeviceRegistry failing;
    failing.matchFails = true;
    failing.services["IOAccelerator"] = {withStatistics({{"Device Utilization %", 90}})};
    EXPECT_EQ(GPUMonitor::readStats(failing).utilization, 0);
}
