// What Intel graphics utilisation costs: the search for DRM clients among the user's processes
// (the machine's real /proc under a hand-built Intel card, so every process of the user is
// listed), and the reads of one tick on the hand-built trees.
#include "platform/Clock.h"
#include "platform/linux/IntelBusy.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <unistd.h>

namespace {

using namespace orb::platform;
namespace stdfs = std::filesystem;

const std::string trees = std::string(ORB_FIXTURES_DIR) + "/handmade-intel/";

// A root whose sys is the hand-built cards without residency and whose proc is the machine's.
class LiveProcRoot {
public:
    LiveProcRoot() {
        path_ = stdfs::temp_directory_path() / ("orbimeter-intel-" + std::to_string(::getpid()));
        stdfs::create_directories(path_);
        stdfs::copy(trees + "clients/sys", path_ / "sys",
                    stdfs::copy_options::recursive | stdfs::copy_options::copy_symlinks);
        stdfs::create_directory_symlink("/proc", path_ / "proc");
    }
    ~LiveProcRoot() { stdfs::remove_all(path_); }
    std::string str() const { return path_.string(); }

private:
    stdfs::path path_;
};

// The first search lists every process; later ones mostly those that are new or hold clients.
void intelClientSearchFirst(benchmark::State& state) {
    LiveProcRoot root;
    SystemClock clock;
    IntelBusy::SearchCount count;
    for (auto _ : state) {
        IntelBusy busy(root.str(), clock);
        count = busy.rescan();
    }
    state.counters["processes"] = count.processes;
}

void intelClientSearch(benchmark::State& state) {
    LiveProcRoot root;
    SystemClock clock;
    IntelBusy busy(root.str(), clock);
    IntelBusy::SearchCount count;
    for (auto _ : state)
        count = busy.rescan();
    state.counters["processes"] = count.processes;
    state.counters["clients"] = count.clients;
}

// One tick: both cards of a tree read once.
void intelTick(benchmark::State& state) {
    SystemClock clock;
    IntelBusy busy(trees + (state.range(0) == 0 ? "clients" : "residency"), clock);
    busy.rescan();
    for (auto _ : state)
        for (const auto& card : busy.cards())
            benchmark::DoNotOptimize(busy.busyPercent(card));
    state.SetLabel(state.range(0) == 0 ? "3 fdinfo files" : "3 residency files");
}

} // namespace

BENCHMARK(intelClientSearchFirst)->Unit(benchmark::kMillisecond);
BENCHMARK(intelClientSearch)->Unit(benchmark::kMillisecond);
BENCHMARK(intelTick)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
