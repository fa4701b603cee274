#include "fakes/ScratchRoot.h"
#include "platform/linux/LinuxVirtualMemory.h"
#include "platform/linux/SysFs.h"

#include <gtest/gtest.h>

using namespace orb;
using namespace orb::platform;

namespace {

const std::string fixtures = ORB_FIXTURES_DIR;

MemInfo meminfoOf(const std::string& root) {
    auto text = linux_fs::readFile(fixtures + root + "/proc/meminfo");
    EXPECT_TRUE(text) << root;
    return parseMeminfo(text.value_or(""));
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
        // MemTotal 16201888, MemAvailable 14221924 kB. Locked: Unevictable 140 + SUnreclaim
        // 153956 + KernelStack 16544 + PageTables 19324 + Percpu 5632.
        {"/telegraf/mem-normal", 16201888 - 14221924, 140 + 153956 + 16544 + 19324 + 5632, 0},
        // Without Unevictable and Percpu the locked pages come from Mlocked.
        {"/telegraf/mem-missing_fields", 16201888 - 14221924, 140 + 153956 + 16544 + 19324, 0},
        // No MemAvailable: MemFree 440324 + Active(file) 6494020 + Inactive(file) 6532440 +
        // SReclaimable 1738124 estimate it. Locked: SUnreclaim 69140 + KernelStack 1616 +
        // PageTables 5288 + Percpu 26176, no huge pages; Zswap is compressed.
        {"/prometheus-procfs", 15666184 - 15204908, 69140 + 1616 + 5288 + 26176, 22414},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.root);
        auto counts = pageCountsFromMeminfo(meminfoOf(c.root), 4096);
        ASSERT_TRUE(counts);
        EXPECT_EQ(std::tuple(usedPages(*counts), counts->wired, counts->compressed),
                  std::tuple(c.usedKb / 4, c.wiredKb / 4, c.compressedKb / 4));
    }

    const auto info = meminfoOf("/telegraf/mem-normal");
    // Reclaimable: MemAvailable - MemFree 1834660.
    EXPECT_EQ(pageCountsFromMeminfo(info, 4096)->inactive, (14221924u - 1834660u) / 4);
    // Larger pages: the sum still holds exactly in pages.
    for (std::uint64_t pageSize : {16384u, 65536u})
        EXPECT_EQ(usedPages(pageCountsFromMeminfo(info, pageSize).value()),
                  (16201888u - 14221924u) * 1024 / pageSize)
            << pageSize;
}

TEST(LinuxVirtualMemory, OldKernelsWithoutMemAvailableGetAnEstimate) {
    // 225472 + 213412 + 145676 + 44772.
    EXPECT_EQ(availableKb(meminfoOf("/prometheus-node_exporter")), 629332u);
    // Before the page cache was split into file and anonymous lists: Buffers + Cached - Shmem.
    EXPECT_EQ(availableKb(parseMeminfo("MemTotal: 1000000 kB\nMemFree: 100000 kB\n"
                                       "Buffers: 50000 kB\nCached: 300000 kB\nShmem: 20000 kB\n")),
              430000u);
}

TEST(LinuxVirtualMemory, BrokenMeminfoGivesNoReadingOrConsistentCounts) {
    // Empty, garbage, cut off before MemFree (available memory cannot be told), binary.
    for (const std::string& text :
         {std::string(), std::string("MemTotal: lots kB\nMemFree: 5 kB\n"),
          std::string("MemTotal:       16201888 kB\nMemF"),
          std::string("\0\0:\n: 5 kB\nMemTotal:", 20)})
        EXPECT_FALSE(pageCountsFromMeminfo(parseMeminfo(text), 4096)) << text;
    EXPECT_FALSE(pageCountsFromMeminfo(meminfoOf("/telegraf/mem-normal"), 0));

    // More available than total, or more kernel memory than used memory: the counts stay
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

    // Swap needs both of its lines.
    EXPECT_FALSE(swapFromMeminfo(parseMeminfo("SwapTotal: 1024 kB\n")));
    auto swap = swapFromMeminfo(parseMeminfo("SwapTotal: 1024 kB\nSwapFree: 2048 kB\n"));
    ASSERT_TRUE(swap);
    EXPECT_EQ(swap->used, 0u);
}

TEST(LinuxVirtualMemory, ReadsSizeSwapAndZramPoolsBelowARoot) {
    LinuxVirtualMemory nodeExporter(fixtures + "/prometheus-node_exporter", 4096);
    EXPECT_EQ(nodeExporter.memorySize(), 3742148ull * 1024);
    auto swap = nodeExporter.swapUsage();
    ASSERT_TRUE(swap);
    EXPECT_EQ(swap->total, 4194300ull * 1024);
    EXPECT_EQ(swap->used, (4194300ull - 3155360) * 1024);

    LinuxVirtualMemory missing("/nonexistent-root", 4096);
    EXPECT_EQ(missing.pageSize(), 4096u);
    EXPECT_FALSE(missing.pageCounts());
    EXPECT_FALSE(missing.memorySize());
    EXPECT_FALSE(missing.swapUsage());

    // zram's pool is compressed memory too; a device with a garbled mm_stat adds nothing.
    orb::testing::ScratchRoot root;
    root.write("proc/meminfo",
               linux_fs::readFile(fixtures + "/telegraf/mem-normal/proc/meminfo").value());
    root.write("sys/block/zram0/mm_stat",
               "  4096000  1024000  1228800        0  1228800        0        0        0\n");
    root.write("sys/block/zram1/mm_stat", "garbage");
    auto counts = LinuxVirtualMemory(root.str(), 4096).pageCounts();
    ASSERT_TRUE(counts);
    EXPECT_EQ(counts->compressed, 1228800u / 4096);
    EXPECT_EQ(usedPages(*counts), (16201888u - 14221924u) / 4);
}
