#include "fakes/FakePlatform.h"
#include "monitor/SystemMonitor.h"

#include <gtest/gtest.h>

using namespace orb;
using orb::testing::FakePlatform;
// Active, inactive, wired, compressed, purgeable and external pages.
using Counts = orb::platform::PageCounts;

namespace {

constexpr std::uint64_t eightGiB = 8ull << 30;
constexpr double page = 4096;

// Four KiB pages and 8 GiB of memory.
struct MemoryUpdate : ::testing::Test {
    FakePlatform fake;
    MemoryUpdate() {
        fake.memory->bytesPerPage = 4096;
        fake.memory->size = eightGiB;
    }
};

} // namespace

TEST_F(MemoryUpdate, PageCountsBecomeBytesAndAPressureWithin0To1) {
    fake.memory->counts = Counts{1000, 500, 200, 100, 50, 150};
    fake.memory->swap = platform::SwapUsage{2ull << 30, 300ull << 20};
    SystemMonitor monitor(fake.platform()); // construction takes the first reading
    // Purgeable and external pages come off used memory, but not off the pressure.
    EXPECT_EQ(monitor.memoryUsed(), 1100 * page);
    EXPECT_EQ(monitor.memoryTotal(), static_cast<double>(eightGiB));
    EXPECT_DOUBLE_EQ(monitor.memoryPressure(), 1300.0 / 2'097'152.0);
    EXPECT_EQ(monitor.swapUsed(), static_cast<double>(300ull << 20));

    // More purgeable and external pages than pages in use: published as computed.
    fake.memory->counts = Counts{10, 0, 10, 0, 15, 15};
    monitor.updateMemory();
    EXPECT_EQ(monitor.memoryUsed(), -10 * page);

    // 20 TiB of 4 KiB pages is more than 2^32 pages.
    const std::uint64_t pages = (20ull << 40) / 4096;
    fake.memory->size = 20ull << 40;
    fake.memory->counts = Counts{pages / 2, 0, pages / 4};
    monitor.updateMemory();
    EXPECT_EQ(monitor.memoryUsed(), static_cast<double>(15ull << 40));
    EXPECT_DOUBLE_EQ(monitor.memoryPressure(), 0.75);

    // The pressure stays a fraction whatever the inputs.
    fake.memory->counts = Counts{1000, 0, 200, 100};
    fake.memory->size = 1000 * 4096; // fewer pages than the counts add up to
    monitor.updateMemory();
    EXPECT_EQ(monitor.memoryPressure(), 1.0);
    fake.memory->size.reset(); // memory size unknown: total 0
    monitor.updateMemory();
    EXPECT_EQ(monitor.memoryPressure(), 0.0);
    fake.memory->size = eightGiB;
    fake.memory->bytesPerPage = 0;
    monitor.updateMemory();
    EXPECT_EQ(monitor.memoryPressure(), 0.0);
}

TEST_F(MemoryUpdate, FailedQueriesKeepWhatTheyWouldHaveSet) {
    fake.memory->counts = Counts{1000, 500, 200, 100};
    fake.memory->swap = platform::SwapUsage{1024, 512};
    SystemMonitor monitor(fake.platform());

    // Swap unreadable: memory moves on, swap stays.
    fake.memory->counts->active = 2000;
    fake.memory->swap.reset();
    monitor.updateMemory();
    EXPECT_EQ(monitor.memoryActive(), 2000 * page);
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
}
