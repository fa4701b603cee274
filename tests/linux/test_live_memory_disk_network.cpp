// Memory, disk and network readings taken on this machine, compared with free, dd and the
// traffic the test makes itself.
#include "monitor/SystemMonitor.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxBlockStorage.h"
#include "platform/linux/LinuxNetworkInterfaces.h"
#include "platform/linux/SysFs.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

using namespace orb;
using namespace orb::platform;
namespace stdfs = std::filesystem;

namespace {

std::string runCommand(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        ::pclose(pipe);
    }
    return output;
}

// The fields of the first line of `text` that starts with `label`.
std::vector<double> rowOf(const std::string& text, std::string_view label) {
    std::vector<double> values;
    linux_fs::forEachLine(text, [&](std::string_view line) {
        if (!values.empty() || !line.starts_with(label))
            return;
        for (auto field : linux_fs::splitFields(line.substr(label.size())))
            values.push_back(linux_fs::parseDouble(field).value_or(-1));
    });
    return values;
}

// The whole disk that a directory's filesystem lives on (through partitions and device-mapper
// or md layers), if it is one of the disks the monitor counts.
std::optional<std::string> wholeDiskBelow(const stdfs::path& directory) {
    struct stat info;
    if (::stat(directory.c_str(), &info) != 0)
        return std::nullopt;
    std::error_code error;
    auto device = stdfs::canonical("/sys/dev/block/" + std::to_string(major(info.st_dev)) + ":" +
                                       std::to_string(minor(info.st_dev)),
                                   error);
    for (int depth = 0; !error && depth < 4; ++depth) {
        if (stdfs::exists(device / "partition"))
            device = device.parent_path();
        auto name = device.filename().string();
        std::replace(name.begin(), name.end(), '!', '/');
        const auto disks = wholeDiskNames("/");
        if (std::find(disks.begin(), disks.end(), name) != disks.end())
            return name;
        // A stacked device: follow the first device below it.
        auto below = linux_fs::listDirectory(device.string() + "/slaves");
        if (below.empty())
            break;
        device = stdfs::canonical("/sys/class/block/" + below.front(), error);
    }
    return std::nullopt;
}

} // namespace

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
    ASSERT_GE(mem.size(), 6u) << output;
    ASSERT_GE(swap.size(), 3u) << output;
    const auto meminfo = linux_fs::readFile("/proc/meminfo");
    ASSERT_TRUE(meminfo);
    EXPECT_EQ(monitor.memoryTotal(), rowOf(*meminfo, "MemTotal:").at(0) * 1024);
    EXPECT_EQ(monitor.memoryTotal(), mem[0]);
    const double ours = (before + after) / 2;
    EXPECT_NEAR(ours, mem[1], 0.02 * mem[1] + std::abs(after - before) / 2)
        << "free: " << output << "ours: " << before << " .. " << after;
    EXPECT_EQ(monitor.swapTotal(), swap[0]);
    EXPECT_NEAR(monitor.swapUsed(), swap[1], 0.02 * swap[0]);
    EXPECT_GT(monitor.memoryPressure(), 0.0);
    EXPECT_LE(monitor.memoryPressure(), 1.0);
    std::printf("memoryUsed %.0f (%.0f .. %.0f), free used %.0f; swap %.0f/%.0f, free %.0f/%.0f\n",
                ours, before, after, mem[1], monitor.swapUsed(), monitor.swapTotal(), swap[1],
                swap[0]);
}

TEST(LiveDisk, DirectWritesShowInTheWriteRate) {
    stdfs::path directory;
    std::string disk;
    for (const auto& candidate :
         {stdfs::temp_directory_path(), stdfs::path("/var/tmp"), stdfs::current_path()}) {
        if (auto found = wholeDiskBelow(candidate)) {
            directory = candidate;
            disk = *found;
            break;
        }
    }
    if (disk.empty())
        GTEST_SKIP() << "no writable directory here lies on a whole disk with a device link ("
                     << "/sys/block has none, or the filesystems are virtual), so there is no disk "
                     << "whose write counter dd could move";

    auto platform = makeSystemPlatform();
    SystemMonitor monitor(*platform);
    using Clock = std::chrono::steady_clock;
    auto next = Clock::now();
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
        background += tick();
    background /= quietTicks;

    // The kernel's own count for the disk, to tell dd's writes from others that land meanwhile
    // (a build's dirty pages being written back, say).
    auto sectorsWritten = [&] {
        double sectors = 0;
        if (auto stats = linux_fs::readFile("/proc/diskstats")) {
            linux_fs::forEachLine(*stats, [&](std::string_view line) {
                auto fields = linux_fs::splitFields(line);
                if (fields.size() > 9 && fields[2] == disk)
                    sectors = static_cast<double>(linux_fs::parseUnsigned(fields[9]).value_or(0));
            });
        }
        return sectors;
    };

    const auto file = directory / ("orbimeter-dd-" + std::to_string(::getpid()));
    constexpr double written = 256.0 * 1024 * 1024;
    const double kernelBefore = sectorsWritten();
    auto dd = std::async(std::launch::async, [&] {
        return std::system(
            ("dd if=/dev/zero of='" + file.string() + "' bs=1M count=256 oflag=direct status=none")
                .c_str());
    });
    double seen = 0;
    int ticks = 0;
    while (dd.wait_for(std::chrono::seconds(0)) != std::future_status::ready && ticks < 120) {
        seen += tick();
        ++ticks;
    }
    seen += tick(); // the writes of the last partial second
    ++ticks;
    const double kernelWritten = (sectorsWritten() - kernelBefore) * 512;
    const int status = dd.get();
    stdfs::remove(file);
    ASSERT_EQ(status, 0) << "dd failed in " << directory;

    const double others = std::max(0.0, kernelWritten - written);
    std::printf("dd wrote %.0f bytes to %s in %d ticks; diskWriteBytesPerSec summed to %.0f; the "
                "kernel counted %.0f, so others wrote %.0f; background %.0f per tick\n",
                written, disk.c_str(), ticks, seen, kernelWritten, others, background);
    EXPECT_GE(seen, 0.9 * written);
    EXPECT_LE(seen, 1.1 * written + others + background * ticks);
}

TEST(LiveNetwork, RatesAreThePhysicalLinksCountersAndNeverLoopback) {
    // The tests send nothing beyond this machine: the physical links' own traffic is measured
    // against the kernel's counters over the same interval, while loopback traffic is made
    // locally and must not show.
    auto links = LinuxNetworkInterfaces().interfaces();
    ASSERT_TRUE(links);
    std::vector<std::string> physical;
    for (const auto& link : *links) {
        if (link.kind == LinkKind::Physical)
            physical.push_back(link.name);
    }
    if (physical.empty())
        GTEST_SKIP() << "no physical network link on this machine; the rate path is tested on the "
                        "sysstat fixtures instead "
                        "(LinuxNetworkInterfaces.RatesFollowInterfacesThatComeAndGo)";

    auto counters = [&] {
        std::uint64_t received = 0, sent = 0;
        for (const auto& name : physical) {
            const std::string dir = "/sys/class/net/" + name + "/statistics/";
            received += static_cast<std::uint64_t>(linux_fs::readInt(dir + "rx_bytes").value_or(0));
            sent += static_cast<std::uint64_t>(linux_fs::readInt(dir + "tx_bytes").value_or(0));
        }
        return std::pair{received, sent};
    };

    auto platform = makeSystemPlatform();
    SystemMonitor monitor(*platform);
    // Right after construction the texts are real rates, never the initial text.
    EXPECT_NE(monitor.downloadSpeed(), "0 KB/s");
    EXPECT_TRUE(monitor.uploadSpeed().endsWith("/s"));

    // 4 MB over loopback: none of it may count.
    const int receiver = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int sender = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(receiver, 0);
    ASSERT_GE(sender, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(receiver, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);
    socklen_t length = sizeof local;
    ASSERT_EQ(::getsockname(receiver, reinterpret_cast<sockaddr*>(&local), &length), 0);

    using Clock = std::chrono::steady_clock;
    const auto outerStart = Clock::now();
    monitor.updateNetwork();
    const auto before = counters();
    const auto innerStart = Clock::now();
    const std::vector<char> payload(1000, 'x');
    std::vector<char> sink(2000);
    for (int i = 0; i < 4000; ++i) {
        ::sendto(sender, payload.data(), payload.size(), 0,
                 reinterpret_cast<const sockaddr*>(&local), sizeof local);
        ::recv(receiver, sink.data(), sink.size(), MSG_DONTWAIT);
    }
    ::close(sender);
    ::close(receiver);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto innerEnd = Clock::now();
    const auto after = counters();
    monitor.updateNetwork();
    const auto outerEnd = Clock::now();

    // The monitor divided the kernel's byte counts by an interval between the inner and the
    // outer one; a little background traffic may fall outside the inner window.
    const double outer = std::chrono::duration<double>(outerEnd - outerStart).count();
    const double inner = std::chrono::duration<double>(innerEnd - innerStart).count();
    const double sentBytes = static_cast<double>(after.second - before.second);
    const double receivedBytes = static_cast<double>(after.first - before.first);
    const double upload = monitor.uploadHistory().last();
    const double download = monitor.downloadHistory().last();
    std::printf(
        "physical links sent %.0f and received %.0f bytes; uploadSpeed %s, downloadSpeed %s\n",
        sentBytes, receivedBytes, monitor.uploadSpeed().toUtf8().constData(),
        monitor.downloadSpeed().toUtf8().constData());
    constexpr double background = 256 * 1024; // bytes another program may move meanwhile
    EXPECT_GE(upload * outer + background, sentBytes);
    EXPECT_LE(upload * inner, sentBytes + background);
    EXPECT_GE(download * outer + background, receivedBytes);
    EXPECT_LE(download * inner, receivedBytes + background);
    // The 4 MB on loopback are not there.
    EXPECT_LT(upload * inner, 4'000'000.0 / 2);
}
