#include "fakes/ScratchRoot.h"
#include "platform/linux/LinuxVirtualMemory.h"
#include "platform/linux/SysFs.h"

#include <gtest/gtest.h>

using namespace orb;
using namespace orb::platform;

namespace {

const std::string fixtures = ORB_FIXTURES_DIR;

MemInfo meminfoOf(const std::string& root) {
    return parseMeminfo(linux_fs::readFile(fixtures + root + "/proc/meminfo").value_or(""));
}

std::uint64_t usedPages(const PageCounts& c) {
    return c.active + c.wired + c.compressed - c.purgeable - c.external;
}

} // namespace

TEST(LinuxVirtualMemory, UsedMemoryIsTotalLessAvailableAsFreeShowsIt) {
    const struct {
        const char* root;
        std::uint64_t usedKb, wiredKb, compressedKb;
    } cases[] = {
        // Locked: Unevictable + SUnreclaim + KernelStack + PageTables + Percpu.
        {"/telegraf/mem-normal", 16201888 - 14221924, 140 + 153956 + 16544 + 19324 + 5632, 0},
        // Without Unevictable and Percpu the locked pages come from Mlocked.
        {"/telegraf/mem-missing_fields", 16201888 - 14221924, 140 + 153956 + 16544 + 19324, 0},
        // No MemAvailable: MemFree 440324 + Active(file) 6494020 + Inactive(file) 6532440 +
        // SReclaimable 1738124 estimate it. Zswap is compressed.
        {"/prometheus-procfs", 15666184 - 15204908, 69140 + 1616 + 5288 + 26176, 22414},
    };
    for (const auto& c : cases) {
        auto counts = pageCountsFromMeminfo(meminfoOf(c.root), 4096);
        ASSERT_TRUE(counts) << c.root;
        EXPECT_EQ(std::tuple(usedPages(*counts), counts->wired, counts->compressed),
                  std::tuple(c.usedKb / 4, c.wiredKb / 4, c.compressedKb / 4))
            << c.root;
    }
    // Before the page cache was split into file and anonymous lists: Buffers + Cached - Shmem.
    EXPECT_EQ(availableKb(parseMeminfo("MemTotal: 1000000 kB\nMemFree: 100000 kB\n"
                                       "Buffers: 50000 kB\nCached: 300000 kB\nShmem: 20000 kB\n")),
              430000u);
}

TEST(LinuxVirtualMemory, BrokenMeminfoGivesNoReadingOrConsistentCounts) {
    // Empty, garbage, cut off before MemFree.
    for (const char* text :
         {"", "MemTotal: lots kB\nMemFree: 5 kB\n", "MemTotal: 16201888 kB\nMemF"})
        EXPECT_FALSE(pageCountsFromMeminfo(parseMeminfo(text), 4096)) << text;
    // More available than total, more kernel memory than used, saturating sums: the counts stay
    // non-negative and still add up to the used memory.
    for (const char* text : {"MemTotal: 1000 kB\nMemAvailable: 5000 kB\nSUnreclaim: 400 kB\n",
                             "MemTotal: 1000 kB\nMemAvailable: 900 kB\nSUnreclaim: 800 kB\n",
                             "MemTotal: 18446744073709551615 kB\nMemAvailable: 0 kB\n"
                             "SUnreclaim: 18446744073709551615 kB\nKernelStack: 5 kB\n"}) {
        const auto info = parseMeminfo(text);
        auto counts = pageCountsFromMeminfo(info, 4096);
        ASSERT_TRUE(counts) << text;
        EXPECT_EQ(usedPages(*counts), (info.at("MemTotal") - *availableKb(info)) / 4) << text;
    }
    // Swap needs both of its lines, and never shows more used than total.
    EXPECT_FALSE(swapFromMeminfo(parseMeminfo("SwapTotal: 1024 kB\n")));
    EXPECT_EQ(swapFromMeminfo(parseMeminfo("SwapTotal: 1 kB\nSwapFree: 2 kB\n")).value().used, 0u);
}

TEST(LinuxVirtualMemory, ReadsSizeSwapAndZramPoolsBelowARoot) {
    LinuxVirtualMemory nodeExporter(fixtures + "/prometheus-node_exporter", 4096);
    EXPECT_EQ(nodeExporter.memorySize(), 3742148ull * 1024);
    EXPECT_EQ(nodeExporter.swapUsage().value().used, (4194300ull - 3155360) * 1024);

    LinuxVirtualMemory missing("/nonexistent-root", 4096);
    EXPECT_FALSE(missing.pageCounts() || missing.memorySize() || missing.swapUsage());

    // zram's pool is compressed memory too; a device with a garbled mm_stat adds nothing.
    orb::testing::ScratchRoot root(
        {{"proc/meminfo", "MemTotal: 8000 kB\nMemAvailable: 4000 kB\n"},
         {"sys/block/zram0/mm_stat", "4096000 1024000 1228800 0 1228800 0 0 0\n"},
         {"sys/block/zram1/mm_stat", "garbage"}});
    EXPECT_EQ(LinuxVirtualMemory(root.str(), 4096).pageCounts().value().compressed, 300u);
}
