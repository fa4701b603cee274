#include "fakes/ScratchRoot.h"
#include "platform/linux/LinuxHostInfo.h"
#include "platform/linux/LinuxProcessorInfo.h"
#include "platform/linux/LinuxVirtualMemory.h"
#include "platform/linux/SysFs.h"

#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>

using namespace orb;
using namespace orb::platform;
using orb::testing::fixtures;
using orb::testing::ScratchRoot;

static std::uint64_t usedPages(const PageCounts& c) {
    return c.active + c.wired + c.compressed - c.purgeable - c.external;
}

TEST(LinuxProcessorInfo, ReadsRealKernelLayoutsAndSkipsBrokenLines) {
    // cpu0 44490 19 21045 1087069 220 1 3410 0 2 1 of 8: guest 2 and guest_nice 1 are already
    // inside user and nice, and stay there: a virtual machine's time is this host's work.
    const auto cpu0 =
        LinuxProcessorInfo(fixtures + "/prometheus-node_exporter").processorTicks().value().at(0);
    EXPECT_EQ(std::tuple(cpu0.user, cpu0.nice, cpu0.system, cpu0.idle),
              std::tuple(44490u, 19u, 21045u + 1 + 3410, 1087069u + 220));

    const auto sample = parseProcessorTicks("cpu  1 2 3 4\n"
                                            "cpu0 10 0 5 100 0 0 0 0 0 0\n"
                                            "cpu1 10 x 5 100\n"                    // garbage
                                            "cpu2 10 0\n"                          // cut short
                                            "cpu-3 1 1 1 1\n"                      // no number
                                            "cpu5 99999999999999999999999 0 0 0\n" // out of range
                                            "cpu6 1 2 3 4");                       // no newline
    ASSERT_EQ(sample.value().size(), 2u);
    EXPECT_EQ(std::pair(sample->at(0).id, sample->at(1).id), std::pair(0, 6));
    for (const std::string& text :
         {std::string(), std::string("cpu  1 2 3 4\nintr 5\n"), std::string("\0\0\0cpu0", 7)})
        EXPECT_FALSE(parseProcessorTicks(text));
    EXPECT_EQ(LinuxProcessorInfo("/nonexistent-root").processorCount(), 0u);
}

TEST(LinuxHostInfo, ReadsLoadUptimeAndBrandOrNothing) {
    // Below a root the tree's /proc/uptime gives the uptime, else its btime against our clock
    // (none when that lies in the future).
    // Older ARM kernels without a device tree name the chip on a Hardware line.
    ScratchRoot arm({{"proc/uptime", "3600.25 100.00\n"},
                     {"proc/cpuinfo", "processor\t: 0\nBogoMIPS\t: 38.40\nHardware\t: BCM2835\n"}});
    ScratchRoot future({{"proc/stat", "btime 99999999999\n"}});
    ScratchRoot garbage({{"proc/loadavg", "0.50 garbage\n"},
                         {"proc/stat", "btime x\n"},
                         {"proc/uptime", "-5 0\n"},
                         {"proc/cpuinfo", "processor\t: 0\nmodel name\t:\n"}});
    const struct {
        std::string root;
        std::array<double, 3> load;
        std::optional<double> uptime;
        const char* brand;
    } cases[] = {
        {fixtures + "/prometheus-procfs",
         {0.02, 0.04, 0.05},
         static_cast<double>(std::time(nullptr)) - 1418183276,
         "Intel(R) Core(TM) i7-8650U CPU @ 1.90GHz"},
        {arm.str(), {}, 3600.25, "BCM2835"},
        {garbage.str(), {0.5, 0, 0}, std::nullopt, ""},
        {future.str(), {}, std::nullopt, ""},
        {"/nonexistent-root", {}, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        LinuxHostInfo host(c.root);
        EXPECT_EQ(host.loadAverages(), c.load) << c.root;
        EXPECT_EQ(host.brandString(), c.brand) << c.root;
        const auto uptime = host.uptimeSeconds();
        EXPECT_NEAR(uptime.value_or(-1), c.uptime.value_or(-1), 2) << c.root;
    }
}

TEST(LinuxHostInfo, CapturedProcessorsGiveTheirNameAndCoreLevels) {
    // ARM cores of one type are alike whatever their cluster or clock: the SM8250's prime and
    // gold Cortex-A77s both perform (1 + 3 + 4 is 4 and 4), and so do the SM8350's X1 and A78s,
    // whose device tree gives every core the same capacity. A Raspberry Pi names itself in its
    // device tree, not by the Hardware line every Pi prints; a server without one by its cores.
    ScratchRoot rock5b, bigLittle, alike;
    for (int cpu = 0; cpu < 8; ++cpu) {
        const auto file = "sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/cpu_capacity";
        bigLittle.write(file, cpu < 6 ? "446\n" : "1024\n");
        alike.write(file, "1024\n");
    }
    rock5b.copy(fixtures + "/arm-boards/rk3588-rock5b");
    rock5b.write("sys/devices/system/cpu/cpu6/cpu_capacity", "1002\n");
    std::filesystem::remove(rock5b.path() / "sys/firmware/devicetree/base/model");
    const std::string at = fixtures + "/";
    const struct {
        std::string root;
        const char* brand;
        int performance, efficiency;
    } machines[] = {
        {at + "intel-hybrid/alderlake-8p8e", "12th Gen Intel(R) Core(TM) i9-12900K", 16, 8},
        {at + "arm-boards/raspberrypi-4b", "Raspberry Pi 4 Model B Rev 1.1", 0, 0},
        {at + "arm-boards/rk3588-rock5b", "Radxa ROCK 5B", 4, 4},
        // Its big cores in two clusters at different clocks, still one level; without a device
        // tree two known core types name the processor, the biggest first.
        {rock5b.str(), "Cortex-A76 + Cortex-A55", 4, 4},
        {at + "arm-boards/qcom-sm8250", "Qualcomm Technologies, Inc. Robotics RB5", 4, 4},
        {at + "arm-boards/qcom-sm8350", "Qualcomm Technologies, Inc. SM8350 HDK", 4, 4},
        {at + "arm-boards/mediatek-mt8188", "MediaTek MT8188 evaluation board", 2, 6},
        {at + "arm-servers/aws-graviton2", "Neoverse-N1", 0, 0},
        // No core types known: by capacity class, the biggest perform unless every core is alike.
        {bigLittle.str(), "", 2, 6},
        {alike.str(), "", 0, 0},
    };
    for (const auto& m : machines) {
        LinuxHostInfo host(m.root);
        const auto cores = host.coreCounts();
        EXPECT_EQ(std::tuple(host.brandString(), cores.performance, cores.efficiency),
                  std::tuple(std::string(m.brand), m.performance, m.efficiency))
            << m.root;
    }
    for (const char* broken : {"", "3-1", "a-b", "0-999999999"})
        EXPECT_TRUE(linux_fs::parseCpuList(broken).empty()) << broken;
}

TEST(LinuxVirtualMemory, UsedSwapAndCompressedMemoryAsFreeShowsThem) {
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
        const auto meminfo = linux_fs::readFile(fixtures + c.root + "/proc/meminfo");
        const auto counts = pageCountsFromMeminfo(parseMeminfo(meminfo.value_or("")), 4096);
        ASSERT_TRUE(counts) << c.root;
        EXPECT_EQ(std::tuple(usedPages(*counts), counts->wired, counts->compressed),
                  std::tuple(c.usedKb / 4, c.wiredKb / 4, c.compressedKb / 4))
            << c.root;
    }
    // Before the page cache was split into file and anonymous lists: Buffers + Cached - Shmem.
    EXPECT_EQ(availableKb(parseMeminfo("MemTotal: 1000000 kB\nMemFree: 100000 kB\n"
                                       "Buffers: 50000 kB\nCached: 300000 kB\nShmem: 20000 kB\n")),
              430000u);
    EXPECT_EQ(LinuxVirtualMemory(fixtures + "/prometheus-node_exporter", 4096).swapUsage()->used,
              (4194300ull - 3155360) * 1024);

    // zram's pool is compressed memory too; a device with a garbled mm_stat adds nothing.
    ScratchRoot root({{"proc/meminfo", "MemTotal: 8000 kB\nMemAvailable: 4000 kB\n"},
                      {"sys/block/zram0/mm_stat", "4096000 1024000 1228800 0 1228800 0 0 0\n"},
                      {"sys/block/zram1/mm_stat", "garbage"}});
    EXPECT_EQ(LinuxVirtualMemory(root.str(), 4096).pageCounts().value().compressed, 300u);
}

TEST(LinuxVirtualMemory, BrokenOrMissingMeminfoGivesNoReadingOrConsistentCounts) {
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
        EXPECT_EQ(usedPages(*counts), (info.find("MemTotal").value() - *availableKb(info)) / 4)
            << text;
    }
    // Swap needs both of its lines, and never shows more used than total.
    EXPECT_FALSE(swapFromMeminfo(parseMeminfo("SwapTotal: 1024 kB\n")));
    EXPECT_EQ(swapFromMeminfo(parseMeminfo("SwapTotal: 1 kB\nSwapFree: 2 kB\n")).value().used, 0u);

    LinuxVirtualMemory missing("/nonexistent-root", 4096);
    EXPECT_FALSE(missing.pageCounts() || missing.memorySize() || missing.swapUsage());
}
