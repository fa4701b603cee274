// The main thread's cost at start and on every tick on a crowded machine: a generated root with
// 1,000 network interfaces (half of them the host ends of virtual pairs whose peers live in
// containers' namespaces) and 64 disks.
#include "monitor/SystemMonitor.h"
#include "platform/Platform.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace stdfs = std::filesystem;

// /proc and /sys are kept in memory; so is the generated tree where a memory-backed
// filesystem is at hand, as directory listings on a disk filesystem cost several times more.
stdfs::path memoryBackedTemp() {
    std::error_code error;
    if (stdfs::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    return stdfs::temp_directory_path();
}

class CrowdedRoot {
public:
    CrowdedRoot() : root_(memoryBackedTemp() / ("orbimeter-bench-" + std::to_string(::getpid()))) {
        writeProc();
        writeNetwork();
        writeDisks();
    }
    ~CrowdedRoot() {
        std::error_code ignored;
        stdfs::remove_all(root_, ignored);
    }
    std::string str() const { return root_.string(); }

private:
    void write(const std::string& relative, const std::string& content) {
        const auto file = root_ / relative;
        stdfs::create_directories(file.parent_path());
        std::ofstream(file) << content;
    }
    void link(const std::string& relative, const std::string& target) {
        stdfs::create_directories((root_ / relative).parent_path());
        stdfs::create_directory_symlink(target, root_ / relative);
    }

    void writeProc() {
        std::string stat = "cpu  100 0 100 1000 0 0 0 0 0 0\n";
        std::string cpuinfo;
        for (int cpu = 0; cpu < 16; ++cpu) {
            stat += "cpu" + std::to_string(cpu) + " 123456 789 45678 9876543 1234 0 567 0 0 0\n";
            cpuinfo += "processor\t: " + std::to_string(cpu) +
                       "\nmodel name\t: Generated CPU @ 3.00GHz\nflags\t\t: fpu vme de pse "
                       "tsc msr pae mce cx8 apic sep mtrr pge mca cmov\n\n";
        }
        stat += "intr 123456789\nctxt 987654321\nbtime 1700000000\nprocesses 123456\n";
        write("proc/stat", stat);
        write("proc/cpuinfo", cpuinfo);
        write("proc/loadavg", "1.25 0.90 0.75 3/1234 56789\n");
        write("proc/uptime", "123456.78 1234567.89\n");
        write("proc/meminfo", "MemTotal:       65536000 kB\nMemFree:        20000000 kB\n"
                              "MemAvailable:   40000000 kB\nBuffers:         1000000 kB\n"
                              "Cached:         18000000 kB\nSwapCached:            0 kB\n"
                              "Active(file):    9000000 kB\nInactive(file):  9000000 kB\n"
                              "Unevictable:        1000 kB\nMlocked:             1000 kB\n"
                              "SwapTotal:       8388604 kB\nSwapFree:        8000000 kB\n"
                              "Shmem:            500000 kB\nSReclaimable:    2000000 kB\n"
                              "SUnreclaim:       300000 kB\nKernelStack:       40000 kB\n"
                              "PageTables:        80000 kB\nPercpu:            30000 kB\n");
    }

    // eth0 and wlan0 with hardware behind them; 500 host ends of virtual pairs whose peers are in
    // other namespaces (their iflink names no index here); 200 VLANs on eth0; 150 bridges and
    // 148 taps.
    void writeNetwork() {
        std::string netDev = "Inter-|   Receive                            |  Transmit\n"
                             " face |bytes    packets errs drop fifo frame compressed multicast|"
                             "bytes    packets errs drop fifo colls carrier compressed\n";
        int index = 1;
        auto add = [&](const std::string& name, int parent) {
            const std::string dir = "sys/class/net/" + name + "/";
            const int own = ++index;
            write(dir + "ifindex", std::to_string(own) + "\n");
            write(dir + "iflink", std::to_string(parent ? parent : own) + "\n");
            write(dir + "type", "1\n");
            write(dir + "operstate", "up\n");
            write(dir + "statistics/rx_bytes", "123456789\n");
            write(dir + "statistics/tx_bytes", "98765432\n");
            netDev += name + ": 123456789 1000 0 0 0 0 0 0 98765432 900 0 0 0 0 0 0\n";
            return dir;
        };
        link(add("eth0", 0) + "device", "../../../devices/pci0000:00/0000:00:1f.6");
        const auto wlan = add("wlan0", 0);
        link(wlan + "device", "../../../devices/pci0000:00/0000:00:14.3");
        stdfs::create_directories(root_ / wlan / "wireless");
        char name[32];
        for (int i = 0; i < 500; ++i) {
            std::snprintf(name, sizeof name, "veth%07x", 0x5a3c000 + i);
            add(name, 100000 + i);
        }
        for (int i = 0; i < 200; ++i)
            add("eth0." + std::to_string(100 + i), 2);
        for (int i = 0; i < 150; ++i)
            stdfs::create_directories(root_ / (add("br-" + std::to_string(i), 0) + "bridge"));
        for (int i = 0; i < 148; ++i)
            write(add("tap" + std::to_string(i), 0) + "tun_flags", "0x1002\n");
        write("proc/net/dev", netDev);
        write("proc/net/wireless",
              "Inter-| sta-|   Quality        |   Discarded packets               | Missed | WE\n"
              " face | tus | link level noise |  nwid  crypt   frag  retry   misc | beacon | 22\n"
              " wlan0: 0000   54.  -56.  -95.       0      0      0      0      0        0\n");
    }

    // 64 whole disks, each with two partitions in /proc/diskstats.
    void writeDisks() {
        std::string diskstats;
        for (int disk = 0; disk < 64; ++disk) {
            const std::string name = "sd" + std::string(1, char('a' + disk / 26 % 26)) +
                                     std::string(1, char('a' + disk % 26));
            link("sys/block/" + name + "/device", "../../devices/pci0000:00/0000:00:17.0");
            for (int partition = 0; partition < 3; ++partition) {
                diskstats += "   8 " + std::to_string(disk * 16 + partition) + " " + name +
                             (partition ? std::to_string(partition) : "") +
                             " 446216 2541 53386366 131880 1079 1013 17272 1308 0 127676 "
                             "133188 0 0 0 0 0 0\n";
            }
        }
        write("proc/diskstats", diskstats);
    }

    stdfs::path root_;
};

CrowdedRoot& crowdedRoot() {
    static CrowdedRoot root;
    return root;
}

// Everything the main thread does before the first tick (the platform, the readers and their
// first samples) and the first tick itself.
void BM_FirstTickCrowded(benchmark::State& state) {
    const auto root = crowdedRoot().str();
    for (auto _ : state) {
        auto platform = orb::platform::makeSystemPlatform(root);
        auto monitor = std::make_unique<orb::SystemMonitor>(*platform);
        monitor->sampleTick();
        state.PauseTiming();
        monitor.reset();
        platform.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstTickCrowded)->Unit(benchmark::kMillisecond);

void BM_SteadyTickCrowded(benchmark::State& state) {
    auto platform = orb::platform::makeSystemPlatform(crowdedRoot().str());
    orb::SystemMonitor monitor(*platform);
    monitor.sampleTick();
    for (auto _ : state)
        monitor.sampleTick();
}
BENCHMARK(BM_SteadyTickCrowded)->Unit(benchmark::kMicrosecond);

// Where a steady tick's time goes.
template <void (orb::SystemMonitor::*step)()> void BM_StepCrowded(benchmark::State& state) {
    auto platform = orb::platform::makeSystemPlatform(crowdedRoot().str());
    orb::SystemMonitor monitor(*platform);
    monitor.sampleTick();
    for (auto _ : state)
        (monitor.*step)();
}
BENCHMARK(BM_StepCrowded<&orb::SystemMonitor::updateCPU>)
    ->Name("crowded/updateCPU")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepCrowded<&orb::SystemMonitor::updateMemory>)
    ->Name("crowded/updateMemory")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepCrowded<&orb::SystemMonitor::updateNetwork>)
    ->Name("crowded/updateNetwork")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepCrowded<&orb::SystemMonitor::updateDisk>)
    ->Name("crowded/updateDisk")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepCrowded<&orb::SystemMonitor::updateLoadAndUptime>)
    ->Name("crowded/updateLoadAndUptime")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepCrowded<&orb::SystemMonitor::updateWiFi>)
    ->Name("crowded/updateWiFi")
    ->Unit(benchmark::kMicrosecond);

} // namespace
