// The process walk on this machine against a minimal /proc reader doing the same reads (stat,
// exe, status for every process), in one run. Start idle processes first to measure a crowded
// machine: bench/process_walk.sh does, with 1,000 and 5,000.
//
//   orbimeter_bench_processes [benchmark flags]   the timings
//   orbimeter_bench_processes --walks N            N steady walks after a first one, and the
//                                                  allocations each made (for strace -c)
#include "monitor/ProcessWalk.h"
#include "platform/Clock.h"
#include "platform/linux/LinuxProcessTable.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>

// Every allocation in this program is counted: operator new, Qt's containers and the C library
// all come here. The counting wrappers stand in for glibc's own entry points.
namespace {
std::atomic<unsigned long> allocations{0};
}
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* malloc(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}
}

namespace {

using namespace orb;

struct LiveWalk {
    platform::LinuxProcessTable table;
    platform::SystemClock clock;
    ProcessWalk walk{table, clock};
};

// Calls `read(pid)` for every process in /proc; the number of processes.
template <typename Read> int forEachProcess(Read read) {
    int processes = 0;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return 0;
    while (const dirent* entry = ::readdir(proc)) {
        if (const int pid = std::atoi(entry->d_name); pid > 0) {
            ++processes;
            read(pid);
        }
    }
    ::closedir(proc);
    return processes;
}

// One read of a /proc/<pid> file into a fixed buffer.
void readProcFile(int pid, const char* file) {
    static char buffer[16384];
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/%s", pid, file);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        benchmark::DoNotOptimize(::read(fd, buffer, sizeof buffer));
        ::close(fd);
    }
}

// What the walk reads, and nothing else: stat, status and the exe link of every process.
int rawWalk() {
    return forEachProcess([](int pid) {
        readProcFile(pid, "stat");
        readProcFile(pid, "status");
        char path[64], target[4096];
        std::snprintf(path, sizeof path, "/proc/%d/exe", pid);
        benchmark::DoNotOptimize(::readlink(path, target, sizeof target));
    });
}

// The least any walk can do: one read of each process's stat, for its processor time.
int statOnly() {
    return forEachProcess([](int pid) { readProcFile(pid, "stat"); });
}

void perProcess(benchmark::State& state, int processes) {
    state.counters["processes"] = processes;
    state.counters["per_process"] = benchmark::Counter(
        processes, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_RawProcReader(benchmark::State& state) {
    int processes = 0;
    for (auto _ : state)
        processes = rawWalk();
    perProcess(state, processes);
}
BENCHMARK(BM_RawProcReader)->Unit(benchmark::kMillisecond);

void BM_StatOnly(benchmark::State& state) {
    int processes = 0;
    for (auto _ : state)
        processes = statOnly();
    perProcess(state, processes);
}
BENCHMARK(BM_StatOnly)->Unit(benchmark::kMillisecond);

// A first walk reads every process's status, as the raw reader does.
void BM_ProcessWalkFirst(benchmark::State& state) {
    int processes = 0;
    for (auto _ : state) {
        LiveWalk live;
        processes = live.walk.updateProcesses().processCount;
    }
    perProcess(state, processes);
}
BENCHMARK(BM_ProcessWalkFirst)->Unit(benchmark::kMillisecond);

// Later walks read status only where a process's memory can have changed.
void BM_ProcessWalk(benchmark::State& state) {
    LiveWalk live;
    live.walk.updateProcesses();
    int processes = 0;
    for (auto _ : state)
        processes = live.walk.updateProcesses().processCount;
    perProcess(state, processes);
}
BENCHMARK(BM_ProcessWalk)->Unit(benchmark::kMillisecond);

int countedWalks(int walks) {
    LiveWalk live;
    auto before = allocations.load();
    const int processes = live.walk.updateProcesses().processCount;
    const auto first = allocations.load() - before;
    before = allocations.load();
    for (int i = 0; i < walks; ++i)
        live.walk.updateProcesses();
    const auto later = allocations.load() - before;
    std::printf("%d processes: first walk %lu allocations", processes, first);
    if (walks > 0)
        std::printf(", later walks %.1f each", static_cast<double>(later) / walks);
    std::printf("\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--walks") == 0)
        return countedWalks(std::atoi(argv[2]));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
