#include "fakes/FakePlatform.h"
#include "monitor/CpuShares.h"

#include <gtest/gtest.h>

using orb::cpuShares;
using orb::testing::ticks;

TEST(CpuShares, SharesAreFractionsOfAllProcessorsTicks) {
    // Two processors: 30 user, 10 system and 60 idle ticks elapsed in total.
    auto shares = cpuShares({ticks(0, 100, 100, 100), ticks(1, 100, 100, 100)},
                            {ticks(0, 120, 105, 130), ticks(1, 110, 105, 130)});
    ASSERT_TRUE(shares);
    EXPECT_DOUBLE_EQ(shares->user, 0.3);
    EXPECT_DOUBLE_EQ(shares->system, 0.1);
}

TEST(CpuShares, NiceTimeCountsAsUserTime) {
    auto shares = cpuShares({ticks(0, 0, 0, 0, 0)}, {ticks(0, 10, 0, 50, 40)});
    ASSERT_TRUE(shares);
    EXPECT_DOUBLE_EQ(shares->user, 0.5);
    EXPECT_DOUBLE_EQ(shares->system, 0.0);
}

TEST(CpuShares, NoElapsedTickGivesNoReading) {
    EXPECT_FALSE(cpuShares({ticks(0, 5, 5, 5)}, {ticks(0, 5, 5, 5)}));
    EXPECT_FALSE(cpuShares({}, {}));
    // Processors that are not in both samples cannot be compared.
    EXPECT_FALSE(cpuShares({ticks(0, 5, 5, 5)}, {ticks(1, 50, 50, 50)}));
}

TEST(CpuShares, CountersGoingBackwardsNeverGiveNegativeOrExcessShares) {
    // The idle counter went backwards (seen with iowait on some kernels): it adds nothing, and
    // the shares stay within 0-1 and add up to at most 1.
    auto shares = cpuShares({ticks(0, 100, 100, 1000)}, {ticks(0, 110, 130, 400)});
    ASSERT_TRUE(shares);
    EXPECT_DOUBLE_EQ(shares->user, 0.25);
    EXPECT_DOUBLE_EQ(shares->system, 0.75);

    // Every counter went backwards: nothing elapsed.
    EXPECT_FALSE(cpuShares({ticks(0, 100, 100, 100)}, {ticks(0, 1, 1, 1)}));
}

TEST(CpuShares, ProcessorsAreMatchedByNumberWhenOneGoesOffline) {
    // Processor 1 went offline; processor 2 keeps its own counters and is not mistaken for it.
    auto shares = cpuShares({ticks(0, 0, 0, 0), ticks(1, 1000, 0, 0), ticks(2, 0, 0, 0)},
                            {ticks(0, 10, 0, 10), ticks(2, 0, 0, 20)});
    ASSERT_TRUE(shares);
    EXPECT_DOUBLE_EQ(shares->user, 0.25);
    EXPECT_DOUBLE_EQ(shares->system, 0.0);
}
