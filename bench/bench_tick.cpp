// Cost of the sampling engine's work on the main thread.
#include "monitor/SystemMonitor.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

namespace {

// One full tick of every reader on this machine's /proc and /sys.
void BM_SampleTickLive(benchmark::State& state) {
    auto platform = orb::platform::makeSystemPlatform();
    orb::SystemMonitor monitor(*platform);
    for (auto _ : state)
        monitor.sampleTick();
}
BENCHMARK(BM_SampleTickLive)->Unit(benchmark::kMicrosecond);

// Each reader of the tick alone, live, to see where a tick's time goes.
template <void (orb::SystemMonitor::*reader)()> void BM_ReaderLive(benchmark::State& state) {
    auto platform = orb::platform::makeSystemPlatform();
    orb::SystemMonitor monitor(*platform);
    for (auto _ : state)
        (monitor.*reader)();
}
BENCHMARK(BM_ReaderLive<&orb::SystemMonitor::updateCPU>)
    ->Name("updateCPU")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReaderLive<&orb::SystemMonitor::updateMemory>)
    ->Name("updateMemory")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReaderLive<&orb::SystemMonitor::updateNetwork>)
    ->Name("updateNetwork")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReaderLive<&orb::SystemMonitor::updateDisk>)
    ->Name("updateDisk")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReaderLive<&orb::SystemMonitor::updateLoadAndUptime>)
    ->Name("updateLoadAndUptime")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReaderLive<&orb::SystemMonitor::updateWiFi>)
    ->Name("updateWiFi")
    ->Unit(benchmark::kMicrosecond);

// The processor reader on a 10-processor fixture.
void BM_UpdateCPUFixture(benchmark::State& state) {
    auto platform = orb::platform::makeSystemPlatform(ORB_FIXTURES_DIR "/sysstat/root6");
    orb::SystemMonitor monitor(*platform);
    for (auto _ : state)
        monitor.updateCPU();
}
BENCHMARK(BM_UpdateCPUFixture)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
