#include "fakes/FakePlatform.h"
#include "monitor/CpuReader.h"
#include "monitor/LoadAndUptimeReader.h"

#include <gtest/gtest.h>

using orb::CpuReader;
using orb::cpuShares;
using orb::platform::ProcessorSample;
using orb::testing::ticks;

namespace {

void expectShares(const std::optional<orb::CpuShares>& shares, double user, double system) {
    ASSERT_TRUE(shares);
    EXPECT_DOUBLE_EQ(shares->user, user);
    EXPECT_DOUBLE_EQ(shares->system, system);
}

} // namespace

TEST(CpuShares, SharesAreFractionsOfTheTicksOfTheProcessorsInBothSamples) {
    // Two processors: 30 user, 10 system and 60 idle ticks elapsed in total.
    expectShares(cpuShares({ticks(0, 100, 100, 100), ticks(1, 100, 100, 100)},
                           {ticks(0, 120, 105, 130), ticks(1, 110, 105, 130)}),
                 0.3, 0.1);
    expectShares(cpuShares({ticks(0, 0, 0, 0, 0)}, {ticks(0, 10, 0, 50, 40)}), 0.5, 0.0); // nice
    // Processor 1 went offline; processor 2 keeps its own counters and is not mistaken for it.
    expectShares(cpuShares({ticks(0, 0, 0, 0), ticks(1, 1000, 0, 0), ticks(2, 0, 0, 0)},
                           {ticks(0, 10, 0, 10), ticks(2, 0, 0, 20)}),
                 0.25, 0.0);
    // The idle counter went backwards (seen with iowait on some kernels): it adds nothing, and
    // the shares stay within 0-1.
    expectShares(cpuShares({ticks(0, 100, 100, 1000)}, {ticks(0, 110, 130, 400)}), 0.25, 0.75);

    // No tick elapsed on a processor present in both samples.
    EXPECT_FALSE(cpuShares({ticks(0, 5, 5, 5)}, {ticks(0, 5, 5, 5)}));
    EXPECT_FALSE(cpuShares({}, {}));
    EXPECT_FALSE(cpuShares({ticks(0, 5, 5, 5)}, {ticks(1, 50, 50, 50)}));
    EXPECT_FALSE(cpuShares({ticks(0, 100, 100, 100)}, {ticks(0, 1, 1, 1)})); // all went backwards
}

TEST(CpuReader, FirstSampleSeedsFailedOnesKeepTheBaselineAndIdleOnesReplaceIt) {
    orb::testing::FakeProcessorInfo processors;
    processors.count = 1;
    processors.samples = {std::nullopt,                             // unreadable
                          ProcessorSample{ticks(0, 100, 100, 100)}, // the baseline
                          ProcessorSample{ticks(0, 130, 110, 160)},
                          std::nullopt,
                          ProcessorSample{ticks(0, 130, 110, 160)}, // no tick elapsed
                          ProcessorSample{ticks(0, 130, 110, 260)}};
    CpuReader reader(processors);
    EXPECT_EQ(reader.processorCount(), 1u);
    EXPECT_FALSE(reader.read());
    EXPECT_FALSE(reader.read());
    expectShares(reader.read(), 0.3, 0.1);
    EXPECT_FALSE(reader.read());
    EXPECT_FALSE(reader.read());
    expectShares(reader.read(), 0.0, 0.0); // measured from the idle sample, not the older one
}

TEST(LoadAndUptimeReader, UptimeIsWholeSecondsAndNeverNegative) {
    orb::testing::FakeHostInfo host;
    host.load = {0.5, 0.25, 0.125};
    orb::LoadAndUptimeReader reader(host);
    // Unknown, then from a boot time ahead of a clock that was set back.
    for (auto [uptime, shown] :
         {std::pair<std::optional<double>, std::optional<std::int64_t>>{6000.9, 6000},
          {std::nullopt, std::nullopt},
          {-20.5, 0}}) {
        host.uptime = uptime;
        const auto reading = reader.read();
        EXPECT_EQ(reading.uptimeSeconds, shown);
        EXPECT_EQ(reading.load, host.load);
    }
}
