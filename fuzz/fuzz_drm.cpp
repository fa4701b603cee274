// Graphics cards from a /sys/class/drm tree ("card0/device/gpu_busy_percent=37" a line): the
// uevent, the figures amdgpu gives (busy percent, VRAM, the gpu_metrics header, hwmon power) and
// the power state, through the accelerator services to the graphics reader.
#include "FuzzTree.h"
#include "platform/Accelerator.h"
#include "platform/linux/LinuxAccelerators.h"
#include "platform/linux/LinuxDeviceRegistry.h"
#include "sensors/GPUMonitor.h"

#include <cstdlib>

using namespace orb::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static orb::fuzz::FuzzTree tree;
    tree.clear();
    tree.write("sys/class/drm", orb::fuzz::asText(data, size));

    LinuxDeviceRegistry registry(false);
    registry.addSource(std::string(accelerator::serviceClass),
                       std::make_unique<LinuxAccelerators>(tree.root(), DeviceNameDatabases{}));
    for (int read = 0; read < 2; ++read) {
        const auto stats = orb::GPUMonitor::readStats(registry);
        if (!(stats.utilization >= 0 && stats.utilization <= 1) || stats.memoryUsed < 0 ||
            stats.memoryAllocated < 0 || stats.powerWatts < 0)
            std::abort();
    }
    return 0;
}
