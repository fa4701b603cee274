// Readings taken on this machine, compared with the tools a Linux user trusts and with the
// kernel's own counters.
#include "monitor/CpuReader.h"
#include "monitor/SystemMonitor.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxBlockStorage.h"
#include "platform/linux/LinuxNetworkInterfaces.h"
#include "platform/linux/LinuxProcessorInfo.h"
#include "platform/linux/SysFs.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <map>
#include <thread>
#include <unistd.h>

using namespace orb;
using namespace orb::platform;
namespace stdfs = std::filesystem;
using Steady = std::chrono::steady_clock;

namespace {

// The command's output; `started` runs once the command is under way.
std::string runCommand(const std::string& command, const std::function<void()>& started = {}) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        if (started)
            started();
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        ::pclose(pipe);
    }
    return output;
}

// The fields, as numbers (-1 where not one), of the first line of `text` whose field `at` is
// `key`; any line will do for an empty key.
std::vector<double> rowOf(std::string_view text, std::string_view key, std::size_t at = 0) {
    std::vector<double> values;
    linux_fs::forEachLine(text, [&](std::string_view line) {
        const auto fields = linux_fs::splitFields(line);
        if (!values.empty() || (!key.empty() && (fields.size() <= at || fields[at] != key)))
            return;
        for (auto field : fields)
            values.push_back(linux_fs::parseDouble(field).value_or(-1));
    });
    return values;
}

// The whole disk below a directory's filesystem (through partitions and device-mapper or md
// layers) as lsblk sees it, if it is one of the disks the monitor counts.
std::optional<std::string> wholeDiskBelow(const stdfs::path& directory) {
    auto name =
        runCommand("lsblk -nrso NAME,TYPE \"$(findmnt -nvo SOURCE -T '" + directory.string() +
                   "')\" 2>/dev/null | awk '$2 == \"disk\" {print $1; exit}' | tr -d '\\n'");
    std::replace(name.begin(), name.end(), '!', '/');
    const auto disks = wholeDiskNames("/");
    if (name.empty() || std::find(disks.begin(), disks.end(), name) == disks.end())
        return std::nullopt;
    return name;
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
    // vmstat's second report covers the second after its start, as do our two samples.
    LinuxProcessorInfo processors;
    std::optional<ProcessorSample> before;
    const auto output = runCommand("vmstat 1 2", [&] { before = processors.processorTicks(); });
    const auto after = processors.processorTicks();
    busy = false;
    spinner.join();
    ASSERT_TRUE(before && after);
    const auto shares = cpuShares(*before, *after);
    ASSERT_TRUE(shares);

    // Two header lines and two reports, the last of them the one that counts:
    // r b swpd free buff cache si so bi bo in cs us sy id wa st
    ASSERT_GE(std::count(output.begin(), output.end(), '\n'), 4) << output;
    const auto last =
        rowOf(std::string_view(output).substr(output.rfind('\n', output.size() - 2) + 1), "");
    ASSERT_GE(last.size(), 17u) << output;
    EXPECT_NEAR((shares->user + shares->system) * 100, last[12] + last[13] + last[16], 3.0)
        << "vmstat: " << output;
}

TEST(LiveSystem, UptimeLoadAndBrandAgreeWithUptimeAndLscpu) {
    auto platform = makeSystemPlatform();
    SystemMonitor monitor(*platform);
    monitor.updateLoadAndUptime();

    // The reader asks the boot-time clock; the kernel's /proc/uptime is its own account of it.
    const auto uptime = rowOf(linux_fs::readFile("/proc/uptime").value_or(""), "");
    ASSERT_FALSE(uptime.empty());
    EXPECT_NEAR(static_cast<double>(monitor.uptimeSeconds()), uptime[0], 1.0);

    // "... load average: 3.56, 3.34, 5.54". The kernel updates the averages every 5 s.
    const auto shown = runCommand("LC_ALL=C uptime | sed 's/.*load average: //; s/,//g'");
    const auto load = rowOf(shown, "");
    ASSERT_GE(load.size(), 3u) << shown;
    EXPECT_NEAR(monitor.loadAvg1(), load[0], 0.5);
    EXPECT_NEAR(monitor.loadAvg5(), load[1], 0.2);
    EXPECT_NEAR(monitor.loadAvg15(), load[2], 0.1);

    // On x86 lscpu names the processor as the brand does; on ARM it names the core design.
    const auto brand =
        runCommand("LC_ALL=C lscpu | sed -n 's/^Model name: *//p' | head -1 | tr -d '\n'");
    if (runCommand("uname -m").starts_with("x86")) {
        EXPECT_EQ(monitor.cpuBrandString().toStdString(), brand);
    }
    EXPECT_EQ(monitor.numCPUs(), std::thread::hardware_concurrency());
}

TEST(LiveMemory, AgreesWithFree) {
    auto platform = makeSystemPlatform();
    SystemMonitor monitor(*platform);
    // Our readings on both sides of free's own.
    const double before = monitor.memoryUsed();
    const auto output = runCommand("LC_ALL=C free -b");
    monitor.updateMemory();
    const double after = monitor.memoryUsed();

    // "Mem:" total used free shared buff/cache available; "Swap:" total used free.
    const auto mem = rowOf(output, "Mem:");
    const auto swap = rowOf(output, "Swap:");
    ASSERT_GE(mem.size(), 7u) << output;
    ASSERT_GE(swap.size(), 4u) << output;
    EXPECT_EQ(monitor.memoryTotal(), mem[1]);
    EXPECT_NEAR((before + after) / 2, mem[2], 0.02 * mem[2] + std::abs(after - before) / 2)
        << "free: " << output << "ours: " << before << " .. " << after;
    EXPECT_EQ(monitor.swapTotal(), swap[1]);
    EXPECT_NEAR(monitor.swapUsed(), swap[2], 0.02 * swap[1]) << output;
    EXPECT_GT(monitor.memoryPressure(), 0.0);
    EXPECT_LE(monitor.memoryPressure(), 1.0);
}

TEST(LiveDisk, DirectWritesShowInTheWriteRate) {
    stdfs::path directory;
    std::optional<std::string> disk;
    for (const auto& candidate :
         {stdfs::temp_directory_path(), stdfs::path("/var/tmp"), stdfs::current_path()}) {
        if ((disk = wholeDiskBelow(candidate))) {
            directory = candidate;
            break;
        }
    }
    if (!disk)
        GTEST_SKIP() << "no writable directory here lies on a whole disk with a device link, so "
                        "there is no disk whose write counter dd could move";

    auto platform = makeSystemPlatform();
    SystemMonitor monitor(*platform);
    auto next = Steady::now();
    auto tick = [&] {
        next += std::chrono::seconds(1);
        std::this_thread::sleep_until(next);
        monitor.updateDisk();
        return monitor.diskWriteBytesPerSec();
    };
    // What the rest of the machine writes meanwhile, per tick.
    constexpr int quietTicks = 3;
    tick();
    double background = 0;
    for (int i = 0; i < quietTicks; ++i)
        background += tick() / quietTicks;

    // The kernel's own count for the disk, to tell dd's writes from others that land meanwhile
    // (a build's dirty pages being written back, say).
    auto kernelBytesWritten = [&] {
        const auto row = rowOf(linux_fs::readFile("/proc/diskstats").value_or(""), *disk, 2);
        return row.size() > 9 ? row[9] * 512 : 0.0;
    };
    const auto file = directory / ("orbimeter-dd-" + std::to_string(::getpid()));
    constexpr double written = 256.0 * 1024 * 1024;
    const double kernelBefore = kernelBytesWritten();
    auto dd = std::async(std::launch::async, [&] {
        return std::system(
            ("dd if=/dev/zero of='" + file.string() + "' bs=1M count=256 oflag=direct status=none")
                .c_str());
    });
    // Ticks until dd is done, and one more for the writes of its last partial second.
    double seen = 0;
    int ticks = 0;
    do {
        seen += tick();
        ++ticks;
    } while (dd.wait_for(std::chrono::seconds(0)) != std::future_status::ready && ticks <= 120);
    const double others = std::max(0.0, kernelBytesWritten() - kernelBefore - written);
    const int status = dd.get();
    stdfs::remove(file);
    ASSERT_EQ(status, 0) << "dd failed in " << directory;

    SCOPED_TRACE(::testing::Message() << "dd wrote " << written << " bytes to " << *disk << " in "
                                      << ticks << " ticks; others wrote " << others
                                      << ", background " << background << " per tick");
    EXPECT_GE(seen, 0.9 * written);
    EXPECT_LE(seen, 1.1 * written + others + background * ticks);
}

TEST(LiveNetwork, CountsWhatIpShowsForThePhysicalLinksAndNothingElse) {
    // ip takes the counters over netlink, not from the files the reader reads. Ours are read
    // between two of its reports.
    auto ipCounters = [] {
        std::map<std::string, std::pair<double, double>> counters;
        const auto json = QJsonDocument::fromJson(
            QByteArray::fromStdString(runCommand("ip -s -j link show 2>/dev/null")));
        for (const auto& entry : json.array()) {
            const auto link = entry.toObject();
            const auto stats = link["stats64"].toObject();
            counters[link["ifname"].toString().toStdString()] = {
                stats["rx"].toObject()["bytes"].toDouble(),
                stats["tx"].toObject()["bytes"].toDouble()};
        }
        return counters;
    };
    const auto before = ipCounters();
    const auto links = LinuxNetworkInterfaces().interfaces();
    const auto after = ipCounters();
    ASSERT_TRUE(links);
    ASSERT_TRUE(before.contains("lo")) << "ip -s -j link show gave no loopback interface";

    double received = 0, sent = 0, receivedBefore = 0, sentBefore = 0, receivedAfter = 0,
           sentAfter = 0;
    for (const auto& link : *links) {
        EXPECT_EQ(link.kind == LinkKind::Physical, link.statistics.has_value()) << link.name;
        if (link.name == "lo") {
            EXPECT_EQ(link.kind, LinkKind::Virtual);
        }
        if (link.kind != LinkKind::Physical || !before.contains(link.name))
            continue;
        received += static_cast<double>(link.statistics->receivedBytes);
        sent += static_cast<double>(link.statistics->sentBytes);
        receivedBefore += before.at(link.name).first;
        sentBefore += before.at(link.name).second;
        receivedAfter += after.at(link.name).first;
        sentAfter += after.at(link.name).second;
    }
    EXPECT_GE(received, receivedBefore);
    EXPECT_LE(received, receivedAfter);
    EXPECT_GE(sent, sentBefore);
    EXPECT_LE(sent, sentAfter);
}
