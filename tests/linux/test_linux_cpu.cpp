#include "fakes/ScratchRoot.h"
#include "monitor/CpuShares.h"
#include "platform/linux/LinuxHostInfo.h"
#include "platform/linux/LinuxProcessorInfo.h"
#include "platform/linux/SysFs.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace orb;
using namespace orb::platform;
using orb::testing::ScratchRoot;

namespace {

const std::string fixtures = ORB_FIXTURES_DIR;

ProcessorSample sampleOf(const std::string& root) {
    auto sample = LinuxProcessorInfo(root).processorTicks();
    EXPECT_TRUE(sample) << root;
    return sample.value_or(ProcessorSample{});
}

} // namespace

TEST(LinuxProcessorInfo, ReadsEveryProcessorLineOfRealKernels) {
    auto modern = sampleOf(fixtures + "/prometheus-procfs");
    ASSERT_EQ(modern.size(), 8u);
    EXPECT_EQ(modern[0].id, 0);
    EXPECT_EQ(modern[7].id, 7);

    // Seven-column lines of older kernels: no steal or guest columns.
    auto old = sampleOf(fixtures + "/sysstat/root6");
    ASSERT_EQ(old.size(), 10u);
    // cpu0 10600 331675 5802 352894 4235 3243 9600
    EXPECT_EQ(old[0].user, 10600u);
    EXPECT_EQ(old[0].nice, 331675u);
    EXPECT_EQ(old[0].system, 5802u + 3243u + 9600u);
    EXPECT_EQ(old[0].idle, 352894u + 4235u);
}

TEST(LinuxProcessorInfo, GuestTimeIsNotCountedTwice) {
    // cpu0 44490 19 21045 1087069 220 1 3410 0 2 1: guest 2 is inside user 44490, guest_nice 1
    // inside nice 19.
    auto sample = sampleOf(fixtures + "/prometheus-node_exporter");
    ASSERT_FALSE(sample.empty());
    EXPECT_EQ(sample[0].user, 44488u);
    EXPECT_EQ(sample[0].nice, 18u);
    EXPECT_EQ(sample[0].system, 21045u + 1u + 3410u + 0u);
    EXPECT_EQ(sample[0].idle, 1087069u + 220u);
}

TEST(LinuxProcessorInfo, SkipsBrokenLinesAndRejectsFilesWithoutProcessors) {
    auto sample = parseProcessorTicks("cpu  1 2 3 4\n"
                                      "cpu0 10 0 5 100 0 0 0 0 0 0\n"
                                      "cpu1 10 x 5 100\n" // garbage
                                      "cpu2 10 0\n"       // cut short
                                      "cpu-3 1 1 1 1\n"   // no processor number
                                      "cpu4 18446744073709551615 0 0 1\n"
                                      "cpu5 99999999999999999999999 0 0 0\n" // out of range
                                      "cpu6 1 2 3 4"); // last line without newline
    ASSERT_TRUE(sample);
    ASSERT_EQ(sample->size(), 3u);
    EXPECT_EQ((*sample)[0].id, 0);
    EXPECT_EQ((*sample)[1].id, 4);
    EXPECT_EQ((*sample)[2].id, 6);

    EXPECT_FALSE(parseProcessorTicks(""));
    EXPECT_FALSE(parseProcessorTicks("cpu  1 2 3 4\nintr 5\n"));
    EXPECT_FALSE(parseProcessorTicks(std::string("\0\0\0cpu0", 7)));
    EXPECT_FALSE(LinuxProcessorInfo("/nonexistent-root").processorTicks());
    EXPECT_EQ(LinuxProcessorInfo("/nonexistent-root").processorCount(), 0u);
}

TEST(LinuxProcessorInfo, SharesStayWithinRangeAcrossRealSampleSeries) {
    // The sysstat series takes processors offline and online between roots, and iowait goes
    // backwards; telegraf's series has iowait 80 -> 40 -> 120 on one processor.
    const std::vector<std::vector<std::string>> series = {{"/sysstat/root1", "/sysstat/root2",
                                                           "/sysstat/root3", "/sysstat/root4",
                                                           "/sysstat/root5", "/sysstat/root6b"},
                                                          {"/sysstat/root6", "/sysstat/root7"}};
    for (const auto& roots : series) {
        for (std::size_t i = 1; i < roots.size(); ++i) {
            auto shares =
                cpuShares(sampleOf(fixtures + roots[i - 1]), sampleOf(fixtures + roots[i]));
            if (!shares)
                continue;
            EXPECT_GE(shares->user, 0) << roots[i];
            EXPECT_GE(shares->system, 0) << roots[i];
            EXPECT_LE(shares->user + shares->system, 1.0) << roots[i];
        }
    }

    std::vector<ProcessorSample> decreasing;
    for (int i = 0; i < 3; ++i) {
        auto text = linux_fs::readFile(fixtures + "/telegraf/cpu-cpu_times_decrease/proc" +
                                       std::to_string(i) + "/stat");
        ASSERT_TRUE(text);
        decreasing.push_back(parseProcessorTicks(*text).value());
    }
    // 18 -> 38 user ticks while idle+iowait falls from 180 to 140: all of the elapsed time is
    // user time, never more.
    auto shares = cpuShares(decreasing[0], decreasing[1]);
    ASSERT_TRUE(shares);
    EXPECT_DOUBLE_EQ(shares->user + shares->system, 1.0);
    shares = cpuShares(decreasing[1], decreasing[2]);
    ASSERT_TRUE(shares);
    EXPECT_GT(shares->user, 0);
    EXPECT_LT(shares->user, 1.0);

    // A processor that goes away between two samples drops out of the sum.
    auto gone = linux_fs::readFile(fixtures + "/telegraf/cpu-cpu_count_decrease/proc1/stat");
    auto before = linux_fs::readFile(fixtures + "/telegraf/cpu-cpu_count_decrease/proc0/stat");
    ASSERT_TRUE(gone && before);
    shares = cpuShares(parseProcessorTicks(*before).value(), parseProcessorTicks(*gone).value());
    ASSERT_TRUE(shares);
    EXPECT_LE(shares->user + shares->system, 1.0);
}

TEST(LinuxHostInfo, ReadsLoadBootTimeAndBrandFromFixtures) {
    LinuxHostInfo host(fixtures + "/sysstat/root1");
    EXPECT_EQ(host.bootTime(), 1555568347);
    EXPECT_EQ(host.brandString(), "Intel(R) Core(TM) i7-2600 CPU @ 3.40GHz");
    auto load = host.loadAverages();
    EXPECT_GT(load[0] + load[1] + load[2], 0);

    LinuxHostInfo procfs(fixtures + "/prometheus-procfs");
    EXPECT_EQ(procfs.brandString(), "Intel(R) Core(TM) i7-8650U CPU @ 1.90GHz");
    EXPECT_EQ(procfs.bootTime(), 1418183276);
    // No hybrid core classes and no capacity classes: no performance levels.
    EXPECT_EQ(procfs.coreCounts().performance, 0);
    EXPECT_EQ(procfs.coreCounts().efficiency, 0);
}

TEST(LinuxHostInfo, MissingOrGarbageFilesGiveEmptyReadings) {
    ScratchRoot root;
    root.write("proc/loadavg", "0.50 garbage\n");
    root.write("proc/stat", "btime x\n");
    root.write("proc/cpuinfo", "processor\t: 0\nmodel name\t:\n");
    LinuxHostInfo host(root.str());
    auto load = host.loadAverages();
    EXPECT_DOUBLE_EQ(load[0], 0.5);
    EXPECT_DOUBLE_EQ(load[1], 0.0);
    EXPECT_FALSE(host.bootTime());
    EXPECT_EQ(host.brandString(), "");

    LinuxHostInfo nothing("/nonexistent-root");
    EXPECT_EQ(nothing.loadAverages(), (std::array<double, 3>{}));
    EXPECT_FALSE(nothing.bootTime());
    EXPECT_EQ(nothing.brandString(), "");
}

TEST(LinuxHostInfo, FallsBackToSecondsSinceBootAndArmBrandLines) {
    ScratchRoot root;
    root.write("proc/uptime", "3600.25 100.00\n");
    root.write("proc/cpuinfo", "processor\t: 0\nBogoMIPS\t: 38.40\nHardware\t: BCM2835\n");
    LinuxHostInfo host(root.str());
    auto boot = host.bootTime();
    ASSERT_TRUE(boot);
    auto now = std::chrono::duration_cast<std::chrono::seconds>(
                   std::chrono::system_clock::now().time_since_epoch())
                   .count();
    EXPECT_NEAR(static_cast<double>(now - *boot), 3600.0, 2.0);
    EXPECT_EQ(host.brandString(), "BCM2835");

    ScratchRoot deviceTree;
    deviceTree.write("sys/firmware/devicetree/base/model",
                     std::string("Raspberry Pi 4 Model B\0", 23));
    EXPECT_EQ(LinuxHostInfo(deviceTree.str()).brandString(), "Raspberry Pi 4 Model B");
}

TEST(LinuxHostInfo, CountsPerformanceAndEfficiencyCores) {
    ScratchRoot hybrid;
    hybrid.write("sys/devices/cpu_core/cpus", "0-15\n");
    hybrid.write("sys/devices/cpu_atom/cpus", "16-23\n");
    auto cores = LinuxHostInfo(hybrid.str()).coreCounts();
    EXPECT_EQ(cores.performance, 16);
    EXPECT_EQ(cores.efficiency, 8);

    ScratchRoot bigLittle;
    for (int cpu = 0; cpu < 8; ++cpu)
        bigLittle.write("sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/cpu_capacity",
                        cpu < 6 ? "446\n" : "1024\n");
    cores = LinuxHostInfo(bigLittle.str()).coreCounts();
    EXPECT_EQ(cores.performance, 2);
    EXPECT_EQ(cores.efficiency, 6);

    ScratchRoot uniform;
    for (int cpu = 0; cpu < 4; ++cpu)
        uniform.write("sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/cpu_capacity",
                      "1024\n");
    cores = LinuxHostInfo(uniform.str()).coreCounts();
    EXPECT_EQ(cores.performance, 0);
    EXPECT_EQ(cores.efficiency, 0);
}

TEST(LinuxFs, ParsesKernelCpuLists) {
    using linux_fs::parseCpuList;
    EXPECT_EQ(parseCpuList("0-3,8,10-11\n"), (std::vector<int>{0, 1, 2, 3, 8, 10, 11}));
    EXPECT_EQ(parseCpuList("5"), (std::vector<int>{5}));
    EXPECT_TRUE(parseCpuList("").empty());
    EXPECT_TRUE(parseCpuList("3-1").empty());
    EXPECT_TRUE(parseCpuList("a-b").empty());
    EXPECT_TRUE(parseCpuList("0-999999999").empty());
}
