#include "fakes/FakePlatform.h"
#include "monitor/MemoryReader.h"

#include <gtest/gtest.h>

using orb::MemoryReader;
using orb::testing::FakeVirtualMemory;
// Active, inactive, wired, compressed, purgeable and external pages.
using Counts = orb::platform::PageCounts;

namespace {

constexpr std::uint64_t eightGiB = 8ull << 30;
constexpr double page = 4096;

} // namespace

TEST(MemoryReader, PageCountsBecomeBytesAndAPressureWithin0To1) {
    FakeVirtualMemory memory;
    memory.bytesPerPage = 4096;
    memory.size = eightGiB;
    memory.counts = Counts{1000, 500, 200, 100, 50, 150};
    memory.swap = orb::platform::SwapUsage{2ull << 30, 300ull << 20};
    MemoryReader reader(memory);
    auto reading = reader.read().value();
    // Purgeable and external pages come off used memory, but not off the pressure.
    EXPECT_EQ(reading.used, 1100 * page);
    EXPECT_EQ(reading.inactive, 500 * page);
    EXPECT_EQ(reading.total, static_cast<double>(eightGiB));
    EXPECT_DOUBLE_EQ(reading.pressure, 1300.0 / 2'097'152.0);
    EXPECT_EQ(reading.swap->used, 300ull << 20);

    // More purgeable and external pages than pages in use: published as computed.
    memory.counts = Counts{10, 0, 10, 0, 15, 15};
    EXPECT_EQ(reader.read()->used, -10 * page);

    // 20 TiB of 4 KiB pages is more than 2^32 pages.
    const std::uint64_t pages = (20ull << 40) / 4096;
    memory.size = 20ull << 40;
    memory.counts = Counts{pages / 2, 0, pages / 4};
    reading = reader.read().value();
    EXPECT_EQ(reading.used, static_cast<double>(15ull << 40));
    EXPECT_DOUBLE_EQ(reading.pressure, 0.75);

    // The pressure stays a fraction whatever the inputs: fewer pages than the counts add up
    // to, an unknown memory size, no page size.
    memory.counts = Counts{1000, 0, 200, 100};
    memory.size = 1000 * 4096;
    EXPECT_EQ(reader.read()->pressure, 1.0);
    memory.size.reset();
    EXPECT_EQ(reader.read()->pressure, 0.0);
    memory.size = eightGiB;
    memory.bytesPerPage = 0;
    EXPECT_EQ(reader.read()->pressure, 0.0);

    // Unreadable swap leaves only the swap out; unreadable statistics leave everything out.
    memory.swap.reset();
    EXPECT_FALSE(reader.read()->swap);
    memory.counts.reset();
    EXPECT_FALSE(reader.read());
}
