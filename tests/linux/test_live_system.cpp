// Readings taken on this machine, compared with the tools a Linux user trusts.
#include "fakes/FakePlatform.h"
#include "monitor/CpuShares.h"
#include "monitor/SystemMonitor.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxHostInfo.h"
#include "platform/linux/LinuxProcessorInfo.h"
#include "platform/linux/SysFs.h"

#include <atomic>
#include <cstdio>
#include <gtest/gtest.h>
#include <thread>

using namespace orb;
using namespace orb::platform;

namespace {

std::string runCommand(const char* command) {
    std::string output;
    if (FILE* pipe = ::popen(command, "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        ::pclose(pipe);
    }
    return output;
}

} // namespace

TEST(LiveSystem, ProcessorUsageAgreesWithVmstat) {
    // Keep one processor busy so both sides measure something other than an idle machine.
    std::atomic<bool> busy{true};
    std::thread spinner([&] {
        volatile unsigned long sink = 0;
        while (busy.load(std::memory_order_relaxed))
            sink = sink + 1;
    });

    LinuxProcessorInfo processors;
    // vmstat's second report covers the second after its start, as do our two samples.
    FILE* vmstat = ::popen("vmstat 1 2", "r");
    ASSERT_NE(vmstat, nullptr);
    auto before = processors.processorTicks();
    std::string lines, line;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, vmstat))
        lines += buffer;
    auto after = processors.processorTicks();
    ::pclose(vmstat);
    busy = false;
    spinner.join();

    ASSERT_TRUE(before && after);
    auto shares = cpuShares(*before, *after);
    ASSERT_TRUE(shares);

    // Columns: r b swpd free buff cache si so bi bo in cs us sy id wa st
    std::vector<std::string> rows;
    linux_fs::forEachLine(lines, [&](std::string_view row) {
        if (!row.empty())
            rows.emplace_back(row);
    });
    ASSERT_GE(rows.size(), 4u) << lines;
    auto fields = linux_fs::splitFields(rows.back());
    ASSERT_GE(fields.size(), 17u) << rows.back();
    const double us = linux_fs::parseDouble(fields[12]).value_or(-100);
    const double sy = linux_fs::parseDouble(fields[13]).value_or(-100);
    const double st = linux_fs::parseDouble(fields[16]).value_or(-100);
    const double ours = (shares->user + shares->system) * 100;
    EXPECT_NEAR(ours, us + sy + st, 3.0) << "vmstat: " << rows.back();
}

TEST(LiveSystem, UptimeLoadAndBrandAgreeWithProc) {
    auto platform = makeSystemPlatform();
    SystemMonitor monitor(*platform);
    monitor.updateLoadAndUptime();

    auto uptime = linux_fs::readLine("/proc/uptime");
    ASSERT_TRUE(uptime);
    const double procUptime = linux_fs::parseDouble(linux_fs::splitFields(*uptime)[0]).value();
    EXPECT_NEAR(static_cast<double>(monitor.uptimeSeconds()), procUptime, 1.0);

    auto loadavg = linux_fs::readLine("/proc/loadavg");
    ASSERT_TRUE(loadavg);
    auto load = linux_fs::splitFields(*loadavg);
    // The kernel updates the averages every 5 s; allow for an update between the two reads.
    EXPECT_NEAR(monitor.loadAvg1(), linux_fs::parseDouble(load[0]).value(), 0.5);
    EXPECT_NEAR(monitor.loadAvg5(), linux_fs::parseDouble(load[1]).value(), 0.2);
    EXPECT_NEAR(monitor.loadAvg15(), linux_fs::parseDouble(load[2]).value(), 0.1);

    // lscpu's "Model name" comes from the same cpuinfo line on x86.
    auto cpuinfo = runCommand("grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'");
    while (!cpuinfo.empty() && cpuinfo.back() == '\n')
        cpuinfo.pop_back();
    if (!cpuinfo.empty())
        EXPECT_EQ(monitor.cpuBrandString().toStdString(), cpuinfo);
    else
        EXPECT_FALSE(monitor.cpuBrandString().isEmpty()) << "no brand on a machine without model name";

    EXPECT_EQ(monitor.numCPUs(), std::thread::hardware_concurrency());
}
