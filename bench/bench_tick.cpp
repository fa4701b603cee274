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

// The processor reader alone, on a 10-processor fixture.
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
