#include "monitor/SystemMonitor.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxVirtualMemory.h"
#include "platform/linux/SysFs.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

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
    // MemTotal 16201888, MemAvailable 14221924 kB.
    const auto info = meminfoOf("/telegraf/mem-normal");
    auto counts = pageCountsFromMeminfo(info, 4096);
    ASSERT_TRUE(counts);
    EXPECT_EQ(usedPages(*counts), (16201888u - 14221924u) / 4);
    // Unevictable 140 + SUnreclaim 153956 + KernelStack 16544 + PageTables 19324 + Percpu 5632.
    EXPECT_EQ(counts->wired, (140u + 153956 + 16544 + 19324 + 5632) / 4);
    EXPECT_EQ(counts->compressed, 0u);
    EXPECT_EQ(counts->external, 0u);
    // Reclaimable: MemAvailable - MemFree 1834660.
    EXPECT_EQ(counts->inactive, (14221924u - 1834660u) / 4);

    // Without Unevictable and Percpu the locked pages come from Mlocked.
    auto sparse = pageCountsFromMeminfo(meminfoOf("/telegraf/mem-missing_fields"), 4096);
    ASSERT_TRUE(sparse);
    EXPECT_EQ(usedPages(*sparse), (16201888u - 14221924u) / 4);
    EXPECT_EQ(sparse->wired, (140u + 153956 + 16544 + 19324) / 4);

    // Larger pages: the sum still holds exactly in pages.
    for (std::uint64_t pageSize : {16384u, 65536u}) {
        auto large = pageCountsFromMeminfo(info, pageSize);
        ASSERT_TRUE(large);
        EXPECT_EQ(usedPages(*large), (16201888u - 14221924u) * 1024 / pageSize) << pageSize;
    }
}

TEST(LinuxVirtualMemory, OldKernelsWithoutMemAvailableGetAnEstimate) {
    // MemFree 440324 + Active(file) 6494020 + Inactive(file) 6532440 + SReclaimable 1738124.
    const auto procfs = meminfoOf("/prometheus-procfs");
    EXPECT_EQ(availableKb(procfs), 15204908u);
    auto counts = pageCountsFromMeminfo(procfs, 4096);
    ASSERT_TRUE(counts);
    EXPECT_EQ(usedPages(*counts), (15666184u - 15204908u) / 4);
    EXPECT_EQ(counts->compressed, 22414u / 4); // Zswap
    // SUnreclaim 69140 + KernelStack 1616 + PageTables 5288 + Percpu 26176; no huge pages.
    EXPECT_EQ(counts->wired, (69140u + 1616 + 5288 + 26176) / 4);

    // 225472 + 213412 + 145676 + 44772.
    EXPECT_EQ(availableKb(meminfoOf("/prometheus-node_exporter")), 629332u);

    // Before the page cache was split into file and anonymous lists: Buffers + Cached - Shmem.
    EXPECT_EQ(availableKb(parseMeminfo("MemTotal: 1000000 kB\nMemFree: 100000 kB\n"
                                       "Buffers: 50000 kB\nCached: 300000 kB\nShmem: 20000 kB\n")),
              430000u);
}

TEST(LinuxVirtualMemory, BrokenMeminfoGivesNoReadingOrConsistentCounts) {
    EXPECT_FALSE(pageCountsFromMeminfo(parseMeminfo(""), 4096));
    EXPECT_FALSE(pageCountsFromMeminfo(parseMeminfo("MemTotal: lots kB\nMemFree: 5 kB\n"), 4096));
    // Cut off before MemFree: available memory cannot be told.
    EXPECT_FALSE(pageCountsFromMeminfo(parseMeminfo("MemTotal:       16201888 kB\nMemF"), 4096));
    EXPECT_FALSE(
        pageCountsFromMeminfo(parseMeminfo(std::string("\0\0:\n: 5 kB\nMemTotal:", 20)), 4096));
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
    const auto root =
        std::filesystem::temp_directory_path() / ("orbimeter-zram-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root / "proc");
    std::filesystem::create_directories(root / "sys/block/zram0");
    std::filesystem::create_directories(root / "sys/block/zram1");
    std::filesystem::copy_file(fixtures + "/telegraf/mem-normal/proc/meminfo",
                               root / "proc/meminfo");
    std::ofstream(root / "sys/block/zram0/mm_stat")
        << "  4096000  1024000  1228800        0  1228800        0        0        0\n";
    std::ofstream(root / "sys/block/zram1/mm_stat") << "garbage";
    auto counts = LinuxVirtualMemory(root.string(), 4096).pageCounts();
    std::filesystem::remove_all(root);
    ASSERT_TRUE(counts);
    EXPECT_EQ(counts->compressed, 1228800u / 4096);
    EXPECT_EQ(usedPages(*counts), (16201888u - 14221924u) / 4);
}

TEST(LinuxVirtualMemory, MonitorPublishesTheFixturesFigures) {
    auto platform = makeSystemPlatform(fixtures + "/telegraf/mem-normal");
    SystemMonitor monitor(*platform);
    EXPECT_EQ(monitor.memoryTotal(), 16201888.0 * 1024);
    // Used memory is counted in whole pages of this machine's size.
    EXPECT_NEAR(monitor.memoryUsed(), (16201888.0 - 14221924.0) * 1024,
                static_cast<double>(platform->memory->pageSize()));
    EXPECT_DOUBLE_EQ(monitor.memoryPressure(), monitor.memoryUsed() / monitor.memoryTotal());
    EXPECT_EQ(monitor.swapTotal(), 4194300.0 * 1024);
    EXPECT_EQ(monitor.swapUsed(), (4194300.0 - 4186844.0) * 1024);
}
