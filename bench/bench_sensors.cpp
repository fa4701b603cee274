// The controller's share of a sensor tick on captured machines: one pass over the hwmon chips,
// then the tick's reads (known keys, the CPU and GPU key lists, fans), all answered from that
// pass.
#include "monitor/SystemMonitor.h"
#include "platform/Platform.h"
#include "platform/linux/Hwmon.h"
#include "platform/linux/LinuxDeviceRegistry.h"
#include "platform/linux/LinuxSmc.h"
#include "sensors/SMC.h"

#include <QCoreApplication>
#include <thread>

#include <benchmark/benchmark.h>
#include <sstream>

namespace {

using namespace orb::platform;

const char* const roots[] = {"/prometheus-node_exporter", "/lact/intel/b580"};

// Reading the chips afresh: every input file once.
void hwmonPass(benchmark::State& state) {
    HwmonReader reader(std::string(ORB_FIXTURES_DIR) + roots[state.range(0)],
                       std::chrono::milliseconds(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(reader.chips().size());
}

// The controller reads of one tick once the pass is done.
void controllerReads(benchmark::State& state) {
    LinuxDeviceRegistry registry(false);
    registry.addSource("AppleSMC", std::make_unique<LinuxSmc>(std::make_shared<HwmonReader>(
                                       std::string(ORB_FIXTURES_DIR) + roots[state.range(0)],
                                       std::chrono::hours(1))));
    std::ostringstream log;
    orb::sensors::SMC smc(registry, log);
    for (auto _ : state) {
        benchmark::DoNotOptimize(smc.readAllTemperatures().size());
        benchmark::DoNotOptimize(smc.readCPUTemperature());
        benchmark::DoNotOptimize(smc.readGPUTemperature());
        benchmark::DoNotOptimize(smc.readFanSpeeds().size());
    }
}

// The whole sensor update of a tick: hwmon, the HID sensors, the thermal zones and the thermal
// state, each file read once. Each iteration first waits out the readers' reuse window, as a
// tick a second later does.
void sensorUpdate(benchmark::State& state) {
    auto platform = makeSystemPlatform(std::string(ORB_FIXTURES_DIR) + roots[state.range(0)]);
    std::ostringstream log;
    orb::SystemMonitor monitor(*platform, nullptr, log);
    for (auto _ : state) {
        state.PauseTiming();
        std::this_thread::sleep_for(std::chrono::milliseconds(60)); // past the reuse window
        state.ResumeTiming();
        monitor.updateSensors();
        QCoreApplication::processEvents();
    }
}

} // namespace

BENCHMARK(sensorUpdate)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(100);
BENCHMARK(hwmonPass)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(controllerReads)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
