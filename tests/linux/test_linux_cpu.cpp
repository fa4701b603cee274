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

ProcessorSample statAt(const std::string& folder) {
    const auto text = linux_fs::readFile(fixtures + folder + "/stat").value_or("");
    return parseProcessorTicks(text).value_or(ProcessorSample{});
}

} // namespace

TEST(LinuxProcessorInfo, GuestColumnsAndSevenColumnLinesOfRealKernels) {
    auto cpu0 = [](const ProcessorSample& s) {
        return std::tuple(s.size(), s.at(0).user, s.at(0).nice, s.at(0).system, s.at(0).idle);
    };
    // cpu0 44490 19 21045 1087069 220 1 3410 0 2 1: guest 2 and guest_nice 1 are already inside
    // user and nice, of 8 processors.
    EXPECT_EQ(cpu0(statAt("/prometheus-node_exporter/proc")),
              std::tuple(8u, 44488u, 18u, 21045u + 1 + 3410, 1087069u + 220));
    // Older kernels' seven columns, of 10 processors: cpu0 10600 331675 5802 352894 4235 3243 9600.
    EXPECT_EQ(cpu0(statAt("/sysstat/root6/proc")),
              std::tuple(10u, 10600u, 331675u, 5802u + 3243 + 9600, 352894u + 4235));
}

TEST(LinuxProcessorInfo, SkipsBrokenLinesAndRejectsFilesWithoutProcessors) {
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

TEST(LinuxProcessorInfo, SharesStayWithinRangeAcrossRealSampleSeries) {
    // Processors go offline and online between sysstat's roots; telegraf's iowait goes
    // 80 -> 40 -> 120.
    const std::string s = "/sysstat/root", times = "/telegraf/cpu-cpu_times_decrease/proc";
    for (const auto& series :
         {std::vector{s + "1/proc", s + "2/proc", s + "3/proc", s + "4/proc", s + "5/proc"},
          std::vector{times + "0", times + "1", times + "2"}}) {
        for (std::size_t i = 1; i < series.size(); ++i) {
            const auto shares = cpuShares(statAt(series[i - 1]), statAt(series[i]));
            ASSERT_TRUE(shares) << series[i];
            EXPECT_GE(std::min(shares->user, shares->system), 0) << series[i];
            EXPECT_LE(shares->user + shares->system, 1.0) << series[i];
        }
    }
    // 18 -> 38 user ticks while idle+iowait falls from 180 to 140: all of it user time.
    EXPECT_DOUBLE_EQ(cpuShares(statAt(times + "0"), statAt(times + "1")).value().user, 1.0);
}

TEST(LinuxHostInfo, ReadsLoadUptimeAndBrandOrNothing) {
    // Below a root the tree's /proc/uptime gives the uptime, else its btime against our clock.
    // ARM kernels name the chip on a Hardware line, or leave it to the device tree.
    ScratchRoot arm({{"proc/uptime", "3600.25 100.00\n"},
                     {"proc/cpuinfo", "processor\t: 0\nBogoMIPS\t: 38.40\nHardware\t: BCM2835\n"}});
    ScratchRoot deviceTree({{"sys/firmware/devicetree/base/model", {"Raspberry Pi 4\0", 15}}});
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
        {deviceTree.str(), {}, std::nullopt, "Raspberry Pi 4"},
        {garbage.str(), {0.5, 0, 0}, std::nullopt, ""},
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

TEST(LinuxHostInfo, CountsPerformanceAndEfficiencyCores) {
    auto countsOf = [](const ScratchRoot& root) {
        const auto cores = LinuxHostInfo(root.str()).coreCounts();
        return std::pair{cores.performance, cores.efficiency};
    };
    ScratchRoot hybrid(
        {{"sys/devices/cpu_core/cpus", "0-15\n"}, {"sys/devices/cpu_atom/cpus", "16-17,18-23\n"}});
    EXPECT_EQ(countsOf(hybrid), std::pair(16, 8));
    // Capacity classes: the biggest cores perform, unless every core is alike.
    ScratchRoot bigLittle, alike;
    for (int cpu = 0; cpu < 8; ++cpu) {
        const auto file = "sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/cpu_capacity";
        bigLittle.write(file, cpu < 6 ? "446\n" : "1024\n");
        alike.write(file, "1024\n");
    }
    EXPECT_EQ(countsOf(bigLittle), std::pair(2, 6));
    EXPECT_EQ(countsOf(alike), std::pair(0, 0));
    for (const char* broken : {"", "3-1", "a-b", "0-999999999"})
        EXPECT_TRUE(linux_fs::parseCpuList(broken).empty()) << broken;
}
