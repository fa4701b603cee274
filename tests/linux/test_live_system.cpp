// Readings on this machine against the tools a Linux user trusts, other kernel sources and
// children of known load.
#include "monitor/CpuReader.h"
#include "monitor/NetworkThroughputReader.h"
#include "monitor/ProcessQueue.h"
#include "monitor/ProcessWalk.h"
#include "monitor/SystemMonitor.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "platform/linux/LinuxBlockStorage.h"
#include "platform/linux/LinuxNetworkInterfaces.h"
#include "platform/linux/LinuxProcessTable.h"
#include "platform/linux/LinuxProcessorInfo.h"
#include "platform/linux/SysFs.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace orb;
using namespace orb::platform;
namespace stdfs = std::filesystem;

namespace {

std::string runCommand(const std::string& command) {
    QProcess shell;
    shell.start(QStringLiteral("sh"), {"-c", QString::fromStdString(command)});
    shell.waitForFinished(30000);
    return shell.readAllStandardOutput().toStdString();
}

// As numbers (-1 for text), the fields of the first line whose field `at` is `key` (or any).
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

// The kernel's count of the processor time a process has used, read through its CPU clock.
double cpuSeconds(const QProcess& process) {
    clockid_t clock{};
    timespec used{};
    if (::clock_getcpuclockid(static_cast<pid_t>(process.processId()), &clock) != 0 ||
        ::clock_gettime(clock, &used) != 0)
        return -1;
    return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
}

} // namespace

TEST(LiveSystem, ProcessorUsageAgreesWithVmstat) {
    // One busy processor, so that both sides measure something other than an idle machine.
    std::atomic<bool> busy{true};
    std::thread spinner([&] {
        for (volatile unsigned long sink = 0; busy.load(std::memory_order_relaxed);)
            sink = sink + 1;
    });
    // vmstat's second report covers the second after its start, as do our two samples.
    LinuxProcessorInfo processors;
    const auto before = processors.processorTicks();
    const auto output = runCommand("vmstat 1 2 | tail -1");
    const auto after = processors.processorTicks();
    busy = false;
    spinner.join();
    // r b swpd free buff cache si so bi bo in cs us sy id wa st
    const auto row = rowOf(output, "");
    ASSERT_TRUE(before && after && row.size() >= 17) << output;
    const auto shares = cpuShares(*before, *after).value();
    EXPECT_NEAR((shares.user + shares.system) * 100, row[12] + row[13] + row[16], 3.0) << output;
}

TEST(LiveSystem, UptimeLoadBrandAndMemoryAgreeWithUptimeLscpuAndFree) {
    auto platform = makeSystemPlatform();
    SystemMonitor monitor(*platform);
    monitor.updateLoadAndUptime();
    // The reader asks the boot-time clock; /proc/uptime is the kernel's own account of it.
    const auto uptime = rowOf(linux_fs::readFile("/proc/uptime").value_or(""), "");
    ASSERT_FALSE(uptime.empty());
    EXPECT_NEAR(static_cast<double>(monitor.uptimeSeconds()), uptime[0], 1.0);
    // "... load average: 3.56, 3.34, 5.54", updated every 5 s.
    const auto load = rowOf(runCommand("LC_ALL=C uptime | sed 's/.*load average: //; s/,//g'"), "");
    ASSERT_GE(load.size(), 3u);
    EXPECT_NEAR(monitor.loadAvg1(), load[0], 0.5);
    EXPECT_NEAR(monitor.loadAvg5(), load[1], 0.2);
    EXPECT_NEAR(monitor.loadAvg15(), load[2], 0.1);
    // On x86 lscpu names the processor as the brand does; on ARM it names the core design.
    const auto lscpu = runCommand("LC_ALL=C lscpu | sed -n 's/^Model name: *//p' | head -1");
    if (runCommand("uname -m").starts_with("x86")) {
        EXPECT_EQ(monitor.cpuBrandString().toStdString() + "\n", lscpu);
    }
    EXPECT_EQ(monitor.numCPUs(), std::thread::hardware_concurrency());

    // Memory as free shows it, our readings on both sides of free's own.
    const double before = monitor.memoryUsed();
    const auto output = runCommand("LC_ALL=C free -b");
    monitor.updateMemory();
    const double after = monitor.memoryUsed();
    // "Mem:" total used free shared buff/cache available; "Swap:" total used free.
    const auto mem = rowOf(output, "Mem:"), swap = rowOf(output, "Swap:");
    ASSERT_TRUE(mem.size() >= 7 && swap.size() >= 4) << output;
    EXPECT_EQ(monitor.memoryTotal(), mem[1]);
    EXPECT_NEAR((before + after) / 2, mem[2], 0.02 * mem[2] + std::abs(after - before) / 2)
        << output;
    EXPECT_EQ(monitor.swapTotal(), swap[1]);
    EXPECT_NEAR(monitor.swapUsed(), swap[2], 0.02 * swap[1]) << output;
}

TEST(LiveDisk, DirectWritesShowInTheWriteRate) {
    // The whole disk below /var/tmp (through partitions, device-mapper or md; /tmp is often in
    // memory), as lsblk sees it, if it is one the monitor counts.
    const auto disk =
        runCommand("lsblk -nrso NAME,TYPE \"$(findmnt -nvo SOURCE -T /var/tmp)\" 2>/dev/null"
                   " | awk '$2 == \"disk\" {printf \"%s\", $1; exit}' | tr '!' '/'");
    const auto disks = wholeDiskNames("/");
    if (std::find(disks.begin(), disks.end(), disk) == disks.end())
        GTEST_SKIP() << "/var/tmp lies on no whole disk with a device link";

    // The kernel's count for the disk bounds what others write meanwhile (a build's write-back).
    auto kernelBytesWritten = [&] {
        const auto row = rowOf(linux_fs::readFile("/proc/diskstats").value_or(""), disk, 2);
        return row.size() > 9 ? row[9] * 512 : 0.0;
    };
    auto platform = makeSystemPlatform();
    SystemMonitor monitor(*platform);
    const stdfs::path file = "/var/tmp/orbimeter-dd-" + std::to_string(::getpid());
    const auto dd =
        "dd if=/dev/zero of=" + file.string() + " bs=1M count=256 oflag=direct status=none";
    constexpr double written = 256.0 * 1024 * 1024;
    monitor.updateDisk();
    const double kernelBefore = kernelBytesWritten();
    const int status = std::system(dd.c_str());
    monitor.updateDisk();
    const double others = std::max(0.0, kernelBytesWritten() - kernelBefore - written);
    stdfs::remove(file);
    ASSERT_EQ(status, 0) << dd;
    // The rate is of the bytes written since the tick before.
    EXPECT_GE(monitor.diskWriteBytesPerSec(), 0.9 * written) << disk;
    EXPECT_LE(monitor.diskWriteBytesPerSec(), 1.1 * (written + others)) << disk << ", " << others;
}

TEST(LiveNetwork, CountsWhatIpShowsForThePhysicalLinksAndNothingElse) {
    // ip takes the counters over netlink; ours are read between two of its reports.
    LinuxNetworkInterfaces network;
    const auto links = network.interfaces().value();
    auto ipSums = [&] {
        const auto json = QJsonDocument::fromJson(
            QByteArray::fromStdString(runCommand("ip -s -j link show 2>/dev/null")));
        double received = 0, sent = 0;
        for (const auto& entry : json.array()) {
            for (const auto& link : links) {
                if (link.statistics && link.name == entry[u"ifname"].toString().toStdString()) {
                    received += entry[u"stats64"][u"rx"][u"bytes"].toDouble();
                    sent += entry[u"stats64"][u"tx"][u"bytes"].toDouble();
                }
            }
        }
        return std::pair(received, sent);
    };
    const auto before = ipSums();
    const auto [received, sent] = readNetworkCounters(network);
    const auto after = ipSums();
    EXPECT_TRUE(before.first <= received && received <= after.first);
    EXPECT_TRUE(before.second <= sent && sent <= after.second);
}

TEST(LiveProcessQueue, WalksRunInTurnAtNiceTenAndResultsComeBackOnTheReceiversThread) {
    QObject receiver;
    QList<std::pair<int, QThread*>> published;
    auto state = std::make_shared<int>(0); // what the walk keeps between walks
    std::weak_ptr<int> watch = state;
    {
        ProcessQueue queue(
            QString::fromLatin1(SystemMonitor::processQueueLabel),
            [state = std::move(state)] {
                return ProcessSnapshot{{}, {}, ++*state};
            },
            &receiver,
            [&](const ProcessSnapshot& s) {
                published.append({s.processCount, QThread::currentThread()});
            });
        for (int i = 0; i < 4; ++i)
            queue.scheduleWalk();
        for (QDeadlineTimer deadline(5000); published.size() < 4 && !deadline.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const auto here = QThread::currentThread();
        ASSERT_EQ(published,
                  (QList<std::pair<int, QThread*>>{{1, here}, {2, here}, {3, here}, {4, here}}));
        // The kernel keeps 15 characters of a thread's name; field 19 is its nice value.
        std::string stats;
        for (const auto& task : linux_fs::listDirectory("/proc/self/task"))
            stats += linux_fs::readLine("/proc/self/task/" + task + "/stat").value_or("") + "\n";
        const auto name = std::string(SystemMonitor::processQueueLabel).substr(0, 15);
        const auto row = rowOf(stats, "(" + name + ")", 1);
        ASSERT_GT(row.size(), 18u) << stats;
        EXPECT_EQ(row[18], 10);
        queue.scheduleWalk();
    }
    // The queue went after its thread stopped, and took the walk's state with it.
    EXPECT_TRUE(watch.expired());
}

TEST(LiveProcessWalk, ChildrenShowTheirProcessorShareAndMemoryInOneGroupAndPsCountsAlike) {
    // Two children of one executable: one keeps a processor busy, one holds 200 MiB.
    QProcess burner, holder;
    burner.start(QStringLiteral(ORB_PROCESS_LOAD_PATH), {"burn"});
    holder.start(QStringLiteral(ORB_PROCESS_LOAD_PATH), {"hold", "200"});
    for (QProcess* child : {&burner, &holder})
        ASSERT_TRUE(child->waitForReadyRead(10000) && child->readLine().trimmed() == "ready");
    LinuxProcessTable table;
    SystemClock clock;
    ProcessWalk walk(table, clock);
    walk.updateProcesses();
    const double usedBefore = cpuSeconds(burner);
    const auto before = std::chrono::steady_clock::now();
    QThread::sleep(3);
    const double usedAfter = cpuSeconds(burner);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - before;
    const auto second = walk.updateProcesses();

    auto group = [](const AppProcessList& list) {
        const auto found = std::ranges::find(list, "orbimeter_process_load", &AppProcess::name);
        return found == list.end() ? AppProcess{} : *found;
    };
    const auto busy = group(second.byCpu);
    EXPECT_EQ(busy.count, 2);
    // One processor, or what a loaded machine left it, by the kernel's own clock of the child.
    const double share = (usedAfter - usedBefore) / elapsed.count() * 100;
    EXPECT_GT(share, 25);
    EXPECT_NEAR(busy.cpu, share, 15);
    const auto large = group(second.byMemory);
    EXPECT_EQ(large.count, 2);
    EXPECT_GE(large.memory, 200);
    EXPECT_LE(large.memory, 210) << "what they hold, not the libraries they share";

    const auto listed = std::ranges::count(runCommand("exec ps -e --no-headers"), '\n') - 1; // ps
    EXPECT_NEAR(second.processCount, listed, 3);
    for (QProcess* child : {&burner, &holder}) {
        child->kill();
        child->waitForFinished();
    }
}

TEST(LiveProcessWalk, FollowsAProcessIntoTheProgramItExecs) {
    // A wrapper script that hands over to the real program under the same identifier.
    QProcess wrapper;
    wrapper.start(QStringLiteral("sh"),
                  {"-c", "read go; exec \"$0\" hold 1", ORB_PROCESS_LOAD_PATH});
    ASSERT_TRUE(wrapper.waitForStarted());
    const int pid = static_cast<int>(wrapper.processId());
    LinuxProcessTable table;
    std::vector<int> pids;
    auto pathNow = [&] {
        ProcessReading reading;
        table.listProcesses(pids);
        return table.readProcess(pid, reading) ? std::string(reading.path) : std::string();
    };
    EXPECT_NE(pathNow().find("sh"), std::string::npos);
    wrapper.write("go\n");
    ASSERT_TRUE(wrapper.waitForReadyRead(10000));
    EXPECT_EQ(pathNow(), std::filesystem::canonical(ORB_PROCESS_LOAD_PATH).string());
    wrapper.kill();
    wrapper.waitForFinished();
}

TEST(LiveProcessWalk, KeepsStatOpenWithinItsBudgetAndSkipsAProcessGoneBeforeItsRead) {
    // Two children: one read once already, through the file kept since; one listed, never read.
    pid_t children[2];
    for (pid_t& child : children) {
        child = ::fork();
        if (child == 0) {
            ::pause();
            ::_exit(0);
        }
        ASSERT_GT(child, 0);
    }
    LinuxProcessTable table("/", 1);
    std::vector<int> pids;
    ProcessReading reading;
    table.listProcesses(pids);
    ASSERT_NE(std::find(pids.begin(), pids.end(), children[1]), pids.end());
    ASSERT_TRUE(table.readProcess(children[0], reading));
    EXPECT_EQ(table.keptStatFiles(), 1u);
    // Beyond the budget a process is read all the same, through a descriptor of its own.
    EXPECT_TRUE(table.readProcess(::getpid(), reading));
    EXPECT_EQ(table.keptStatFiles(), 1u);

    for (const pid_t child : children) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    // Once reaped, neither is read: the kept file reads ESRCH, whoever takes the identifier next.
    EXPECT_FALSE(table.readProcess(children[0], reading));
    EXPECT_FALSE(table.readProcess(children[1], reading));
    EXPECT_EQ(table.keptStatFiles(), 0u);
    EXPECT_TRUE(table.readProcess(::getpid(), reading));
    EXPECT_EQ(table.keptStatFiles(), 1u);
    // The next walk lets go of what belonged to processes no longer listed.
    table.listProcesses(pids);
    table.listProcesses(pids);
    EXPECT_EQ(table.keptStatFiles(), 0u);
}
