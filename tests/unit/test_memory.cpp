#include "fakes/FakePlatform.h"
#include "monitor/SystemMonitor.h"

#include <gtest/gtest.h>

using namespace orb;
using orb::testing::FakePlatform;

namespace {

constexpr std::uint64_t eightGiB = 8ull << 30;

platform::PageCounts counts(std::uint64_t active, std::uint64_t inactive, std::uint64_t wired,
                            std::uint64_t compressed, std::uint64_t purgeable = 0,
                            std::uint64_t external = 0) {
    return {active, inactive, wired, compressed, purgeable, external};
}

} // namespace

TEST(MemoryUpdate, PageCountsBecomeBytesAndPressure) {
    FakePlatform fake;
    fake.memory->bytesPerPage = 4096;
    fake.memory->counts = counts(1000, 500, 200, 100, 50, 150);
    fake.memory->size = eightGiB;
    fake.memory->swap = platform::SwapUsage{2ull << 30, 300ull << 20};
    SystemMonitor monitor(fake.platform()); // construction takes the first reading

    // Purgeable and external pages come off used memory, but not off the pressure.
    EXPECT_EQ(monitor.memoryUsed(), 1100 * 4096.0);
    EXPECT_EQ(monitor.memoryWired(), 200 * 4096.0);
    EXPECT_EQ(monitor.memoryActive(), 1000 * 4096.0);
    EXPECT_EQ(monitor.memoryInactive(), 2'048'000.0);
    EXPECT_EQ(monitor.memoryCompressed(), 100 * 4096.0);
    EXPECT_EQ(monitor.memoryTotal(), static_cast<double>(eightGiB));
    EXPECT_DOUBLE_EQ(monitor.memoryPressure(), 1300.0 / 2'097'152.0);
    EXPECT_EQ(monitor.swapTotal(), static_cast<double>(2ull << 30));
    EXPECT_EQ(monitor.swapUsed(), static_cast<double>(300ull << 20));

    // More purgeable and external pages than pages in use: published as computed.
    fake.memory->counts = counts(10, 0, 10, 0, 15, 15);
    monitor.updateMemory();
    EXPECT_EQ(monitor.memoryUsed(), -10 * 4096.0);
    EXPECT_DOUBLE_EQ(monitor.memoryPressure(), 20.0 / 2'097'152.0);
}

TEST(MemoryUpdate, CountsBeyondThirtyTwoBitsStayExact) {
    // 20 TiB of 4 KiB pages is more than 2^32 pages.
    FakePlatform fake;
    fake.memory->bytesPerPage = 4096;
    fake.memory->size = 20ull << 40;
    const std::uint64_t totalPages = (20ull << 40) / 4096;
    fake.memory->counts = counts(totalPages / 2, 0, totalPages / 4, 0);
    SystemMonitor monitor(fake.platform());
    EXPECT_EQ(monitor.memoryUsed(), static_cast<double>(15ull << 40));
    EXPECT_DOUBLE_EQ(monitor.memoryPressure(), 0.75);
}

TEST(MemoryUpdate, FailedQueriesKeepWhatTheyWouldHaveSet) {
    FakePlatform fake;
    fake.memory->bytesPerPage = 4096;
    fake.memory->counts = counts(1000, 500, 200, 100);
    fake.memory->size = eightGiB;
    fake.memory->swap = platform::SwapUsage{1024, 512};
    SystemMonitor monitor(fake.platform());

    // Swap unreadable: memory moves on, swap stays.
    fake.memory->counts = counts(2000, 500, 200, 100);
    fake.memory->swap.reset();
    monitor.updateMemory();
    EXPECT_EQ(monitor.memoryActive(), 2000 * 4096.0);
    EXPECT_EQ(monitor.swapTotal(), 1024);
    EXPECT_EQ(monitor.swapUsed(), 512);

    // Statistics unreadable: nothing changes, not even the size or swap.
    fake.memory->counts.reset();
    fake.memory->size = 2 * eightGiB;
    fake.memory->swap = platform::SwapUsage{4096, 4096};
    int notifications = 0;
    for (auto signal : {&SystemMonitor::memoryUsedChanged, &SystemMonitor::memoryTotalChanged,
                        &SystemMonitor::memoryPressureChanged, &SystemMonitor::swapUsedChanged})
        QObject::connect(&monitor, signal, [&] { ++notifications; });
    monitor.updateMemory();
    EXPECT_EQ(notifications, 0);
    EXPECT_EQ(monitor.memoryTotal(), static_cast<double>(eightGiB));
    EXPECT_EQ(monitor.swapUsed(), 512);
}

TEST(MemoryUpdate, PressureStaysAFractionWhateverTheInputs) {
    FakePlatform fake;
    fake.memory->counts = counts(1000, 0, 200, 100);
    fake.memory->size = eightGiB;
    SystemMonitor monitor(fake.platform()); // no page size
    EXPECT_EQ(monitor.memoryPressure(), 0.0);
    EXPECT_EQ(monitor.memoryUsed(), 0.0);

    fake.memory->bytesPerPage = 4096;
    fake.memory->size.reset(); // memory size unknown: total 0
    monitor.updateMemory();
    EXPECT_EQ(monitor.memoryTotal(), 0.0);
    EXPECT_EQ(monitor.memoryPressure(), 0.0);

    fake.memory->size = 1000 * 4096; // fewer pages than the counts add up to
    monitor.updateMemory();
    EXPECT_EQ(monitor.memoryPressure(), 1.0);
}
