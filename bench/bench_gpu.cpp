// The graphics step of a tick on captured machines: every card's power state and figures read
// once through the registry, then averaged. The cards' layouts and names are looked up before
// the first iteration, as after a program's first tick.
#include "platform/Accelerator.h"
#include "platform/linux/LinuxAccelerators.h"
#include "sensors/GPUMonitor.h"

#include <benchmark/benchmark.h>

namespace {

using namespace orb::platform;

const char* const gpuRoots[] = {"/prometheus-procfs", "/lact/amd/rx6900xt", "/handmade-drm/laptop"};

void gpuTick(benchmark::State& state) {
    const std::string fixtures = ORB_FIXTURES_DIR;
    LinuxDeviceRegistry registry(false);
    registry.addSource(std::string(accelerator::serviceClass),
                       std::make_unique<LinuxAccelerators>(
                           fixtures + gpuRoots[state.range(0)],
                           installedDeviceNameDatabases(fixtures + "/device-names")));
    orb::GPUMonitor::readStats(registry);
    for (auto _ : state)
        benchmark::DoNotOptimize(orb::GPUMonitor::readStats(registry).utilization);
}

} // namespace

BENCHMARK(gpuTick)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
