#include "fakes/FakePlatform.h"
#include "monitor/CpuShares.h"

#include <gtest/gtest.h>

using orb::cpuShares;
using orb::platform::ProcessorSample;
using orb::testing::ticks;

namespace {

void expectShares(const ProcessorSample& before, const ProcessorSample& after, double user,
                  double system) {
    const auto shares = cpuShares(before, after);
    ASSERT_TRUE(shares);
    EXPECT_DOUBLE_EQ(shares->user, user);
    EXPECT_DOUBLE_EQ(shares->system, system);
}

} // namespace

TEST(CpuShares, SharesAreFractionsOfTheTicksOfTheProcessorsInBothSamples) {
    // Two processors: 30 user, 10 system and 60 idle ticks elapsed in total.
    expectShares({ticks(0, 100, 100, 100), ticks(1, 100, 100, 100)},
                 {ticks(0, 120, 105, 130), ticks(1, 110, 105, 130)}, 0.3, 0.1);
    expectShares({ticks(0, 0, 0, 0, 0)}, {ticks(0, 10, 0, 50, 40)}, 0.5, 0.0); // nice is user
    // Processor 1 went offline; processor 2 keeps its own counters and is not mistaken for it.
    expectShares({ticks(0, 0, 0, 0), ticks(1, 1000, 0, 0), ticks(2, 0, 0, 0)},
                 {ticks(0, 10, 0, 10), ticks(2, 0, 0, 20)}, 0.25, 0.0);
    // The idle counter went backwards (seen with iowait on some kernels): it adds nothing, and
    // the shares stay within 0-1.
    expectShares({ticks(0, 100, 100, 1000)}, {ticks(0, 110, 130, 400)}, 0.25, 0.75);
}

TEST(CpuShares, NoTickElapsedOnAProcessorInBothSamplesGivesNoReading) {
    EXPECT_FALSE(cpuShares({ticks(0, 5, 5, 5)}, {ticks(0, 5, 5, 5)}));
    EXPECT_FALSE(cpuShares({}, {}));
    EXPECT_FALSE(cpuShares({ticks(0, 5, 5, 5)}, {ticks(1, 50, 50, 50)}));
    EXPECT_FALSE(cpuShares({ticks(0, 100, 100, 100)}, {ticks(0, 1, 1, 1)})); // all went backwards
}
