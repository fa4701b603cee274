#include "fakes/ScratchRoot.h"
#include "monitor/CpuReader.h"
#include "platform/linux/LinuxHostInfo.h"
#include "platform/linux/LinuxProcessorInfo.h"
#include "platform/linux/SysFs.h"

#include <ctime>
#include <gtest/gtest.h>

using namespace orb;
using namespace orb::platform;
using orb::testing::ScratchRoot;

namespace {

const std::string fixtures = ORB_FIXTURES_DIR;

// The processors of a captured stat file, in a folder below the fixtures.
ProcessorSample statAt(const std::string& folder) {
    auto sample = parseProcessorTicks(linux_fs::readFile(fixtures + folder + "/stat").value_or(""));
    EXPECT_TRUE(sample) << folder;
    return sample.value_or(ProcessorSample{});
}

auto fields(const ProcessorTicks& t) {
    return std::tuple{t.id, t.user, t.nice, t.system, t.idle};
}

} // namespace

TEST(LinuxProcessorInfo, ReadsEveryProcessorLineOfRealKernels) {
    const struct {
        const char* root;
        std::size_t processors;
        ProcessorTicks cpu0;
    } cases[] = {
        // cpu0 44490 19 21045 1087069 220 1 3410 0 0 0
        {"/prometheus-procfs", 8, {0, 44490, 21045 + 1 + 3410, 1087069 + 220, 19}},
        // Guest time is already inside user and nice time: guest 2 and guest_nice 1 come off.
        {"/prometheus-node_exporter", 8, {0, 44488, 21045 + 1 + 3410, 1087069 + 220, 18}},
        // Seven-column lines of older kernels, without steal or guest columns:
        // cpu0 10600 331675 5802 352894 4235 3243 9600
        {"/sysstat/root6", 10, {0, 10600, 5802 + 3243 + 9600, 352894 + 4235, 331675}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.root);
        auto sample = LinuxProcessorInfo(fixtures + c.root).processorTicks();
        ASSERT_TRUE(sample);
        ASSERT_EQ(sample->size(), c.processors);
        EXPECT_EQ(sample->back().id, static_cast<int>(c.processors) - 1);
        EXPECT_EQ(fields(sample->front()), fields(c.cpu0));
    }
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
    std::vector<int> ids;
    for (const auto& processor : *sample)
        ids.push_back(processor.id);
    EXPECT_EQ(ids, (std::vector<int>{0, 4, 6}));

    EXPECT_FALSE(parseProcessorTicks(""));
    EXPECT_FALSE(parseProcessorTicks("cpu  1 2 3 4\nintr 5\n"));
    EXPECT_FALSE(parseProcessorTicks(std::string("\0\0\0cpu0", 7)));
    EXPECT_FALSE(LinuxProcessorInfo("/nonexistent-root").processorTicks());
    EXPECT_EQ(LinuxProcessorInfo("/nonexistent-root").processorCount(), 0u);
}

TEST(LinuxProcessorInfo, SharesStayWithinRangeAcrossRealSampleSeries) {
    // Between sysstat's roots processors go offline and online and iowait goes backwards; in
    // telegraf's, one processor's iowait goes 80 -> 40 -> 120, and a processor goes away.
    const std::string s = "/sysstat/root", times = "/telegraf/cpu-cpu_times_decrease/proc",
                      gone = "/telegraf/cpu-cpu_count_decrease/proc";
    for (const auto& series : {std::vector{s + "1/proc", s + "2/proc", s + "3/proc", s + "4/proc",
                                           s + "5/proc", s + "6b/proc"},
                               std::vector{s + "6/proc", s + "7/proc"},
                               std::vector{times + "0", times + "1", times + "2"},
                               std::vector{gone + "0", gone + "1"}}) {
        for (std::size_t i = 1; i < series.size(); ++i) {
            const auto shares = cpuShares(statAt(series[i - 1]), statAt(series[i]));
            ASSERT_TRUE(shares) << series[i];
            EXPECT_GE(shares->user, 0) << series[i];
            EXPECT_GE(shares->system, 0) << series[i];
            EXPECT_LE(shares->user + shares->system, 1.0) << series[i];
        }
    }
    // 18 -> 38 user ticks while idle+iowait falls from 180 to 140: all of the elapsed time is
    // user time, never more; then some of it.
    EXPECT_DOUBLE_EQ(cpuShares(statAt(times + "0"), statAt(times + "1"))->user, 1.0);
    const auto shares = cpuShares(statAt(times + "1"), statAt(times + "2"));
    EXPECT_GT(shares->user, 0);
    EXPECT_LT(shares->user, 1.0);
}

TEST(LinuxHostInfo, ReadsLoadUptimeAndBrandOrNothing) {
    // Below a root the tree's /proc/uptime gives the uptime, else its btime against our clock.
    // ARM kernels may name the chip on a Hardware line, or leave the board's name to the device
    // tree.
    ScratchRoot arm, deviceTree, garbage;
    arm.write("proc/uptime", "3600.25 100.00\n");
    arm.write("proc/cpuinfo", "processor\t: 0\nBogoMIPS\t: 38.40\nHardware\t: BCM2835\n");
    deviceTree.write("sys/firmware/devicetree/base/model",
                     std::string("Raspberry Pi 4 Model B\0", 23));
    garbage.write("proc/loadavg", "0.50 garbage\n");
    garbage.write("proc/stat", "btime x\n");
    garbage.write("proc/uptime", "-5 0\n");
    garbage.write("proc/cpuinfo", "processor\t: 0\nmodel name\t:\n");
    const double now = static_cast<double>(std::time(nullptr));
    const struct {
        std::string root;
        std::array<double, 3> load;
        std::optional<double> uptime;
        const char* brand;
        double slack = 0;
    } cases[] = {
        {fixtures + "/sysstat/root1",
         {3.16, 3.24, 3.43},
         7192.55,
         "Intel(R) Core(TM) i7-2600 CPU @ 3.40GHz"},
        {fixtures + "/prometheus-procfs",
         {0.02, 0.04, 0.05},
         now - 1418183276,
         "Intel(R) Core(TM) i7-8650U CPU @ 1.90GHz",
         2},
        {arm.str(), {}, 3600.25, "BCM2835"},
        {deviceTree.str(), {}, std::nullopt, "Raspberry Pi 4 Model B"},
        {garbage.str(), {0.5, 0, 0}, std::nullopt, ""},
        {"/nonexistent-root", {}, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.root);
        LinuxHostInfo host(c.root);
        EXPECT_EQ(host.loadAverages(), c.load);
        EXPECT_EQ(host.brandString(), c.brand);
        const auto uptime = host.uptimeSeconds();
        ASSERT_EQ(uptime.has_value(), c.uptime.has_value());
        if (uptime) {
            EXPECT_NEAR(*uptime, *c.uptime, c.slack);
        }
    }
}

TEST(LinuxHostInfo, CountsPerformanceAndEfficiencyCores) {
    auto countsOf = [](const std::string& root) {
        const auto cores = LinuxHostInfo(root).coreCounts();
        return std::pair{cores.performance, cores.efficiency};
    };
    ScratchRoot hybrid;
    hybrid.write("sys/devices/cpu_core/cpus", "0-15\n");
    hybrid.write("sys/devices/cpu_atom/cpus", "16-23\n");
    EXPECT_EQ(countsOf(hybrid.str()), std::pair(16, 8));

    // Capacity classes: the biggest cores perform, unless every core is alike.
    for (const auto& [little, big, expected] :
         {std::tuple{6, 2, std::pair{2, 6}}, std::tuple{0, 4, std::pair{0, 0}}}) {
        ScratchRoot root;
        for (int cpu = 0; cpu < little + big; ++cpu)
            root.write("sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/cpu_capacity",
                       cpu < little ? "446\n" : "1024\n");
        EXPECT_EQ(countsOf(root.str()), expected) << little << " little, " << big << " big";
    }
    // Neither hybrid core classes nor capacities.
    EXPECT_EQ(countsOf(fixtures + "/prometheus-procfs"), std::pair(0, 0));
}

TEST(LinuxFs, ParsesKernelCpuLists) {
    using linux_fs::parseCpuList;
    EXPECT_EQ(parseCpuList("0-3,8,10-11\n"), (std::vector<int>{0, 1, 2, 3, 8, 10, 11}));
    EXPECT_EQ(parseCpuList("5"), (std::vector<int>{5}));
    for (const char* broken : {"", "3-1", "a-b", "0-999999999"})
        EXPECT_TRUE(parseCpuList(broken).empty()) << broken;
}
