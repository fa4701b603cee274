#include "platform/Platform.h"

#include "platform/Accelerator.h"
#include "platform/BlockStorage.h"
#include "platform/SmartBattery.h"
#include "platform/linux/IntelBusy.h"
#include "platform/linux/LinuxAccelerators.h"
#include "platform/linux/LinuxBlockStorage.h"
#include "platform/linux/LinuxDeviceRegistry.h"
#include "platform/linux/LinuxHidSensors.h"
#include "platform/linux/LinuxHostInfo.h"
#include "platform/linux/LinuxNetworkInterfaces.h"
#include "platform/linux/LinuxPowerSources.h"
#include "platform/linux/LinuxProcessTable.h"
#include "platform/linux/LinuxProcessorInfo.h"
#include "platform/linux/LinuxSmartBattery.h"
#include "platform/linux/LinuxSmc.h"
#include "platform/linux/LinuxThermalState.h"
#include "platform/linux/LinuxThermalZones.h"
#include "platform/linux/LinuxVirtualMemory.h"
#include "platform/linux/LinuxWiFi.h"
#include "platform/linux/NvidiaAccelerators.h"
#include "platform/linux/UPowerClient.h"

#include <algorithm>
#include <sys/resource.h>
#include <unistd.h>

namespace orb::platform {

namespace {

// The process walk keeps a descriptor open per process (LinuxProcessTable), up to a share of
// the soft limit, which many sessions leave at 1,024. Raising it within the hard limit lets a
// machine of a few thousand processes be walked without opening files; programs this one starts
// inherit the higher limit, so it goes no higher than the walk can use.
void raiseDescriptorLimit() {
    constexpr rlim_t wanted = 16384;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= wanted)
        return;
    limit.rlim_cur = std::min(wanted, limit.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

} // namespace

std::unique_ptr<Platform> makeSystemPlatform(const std::string& root) {
    raiseDescriptorLimit();
    auto platform = std::make_unique<Platform>();
    platform->clock = std::make_unique<SystemClock>();
    platform->processors = std::make_unique<LinuxProcessorInfo>(root);
    platform->host = std::make_unique<LinuxHostInfo>(root);
    platform->wifi = std::make_unique<LinuxWiFi>(root);
    platform->memory = std::make_unique<LinuxVirtualMemory>(root);
    platform->network = std::make_unique<LinuxNetworkInterfaces>(root);
    auto processes = std::make_unique<LinuxProcessTable>(root);
    // An Intel card's busy figure may come from its DRM clients, which are looked for among the
    // processes as the process walk lists them; a machine without one never looks.
    std::shared_ptr<IntelBusy> intelBusy = std::make_shared<IntelBusy>(root, *platform->clock);
    if (intelBusy->cards().empty())
        intelBusy.reset();
    else
        processes->runWithEachWalk([intelBusy] { intelBusy->rescan(); });
    platform->processes = std::move(processes);

    // Events and the system bus describe this machine, not a captured tree below another root.
    const bool live = root.empty() || root == "/";
    auto registry = std::make_unique<LinuxDeviceRegistry>(live);
    registry->addSource(std::string(block_storage::serviceClass),
                        std::make_unique<LinuxBlockStorage>(root));
    // One pass over sysfs serves both the power-source snapshot and the battery of a tick.
    auto supplies = std::make_shared<PowerSupplyReader>(root);
    registry->addSource(std::string(smart_battery::serviceClass),
                        std::make_unique<LinuxSmartBattery>(supplies));
    platform->power = std::make_unique<LinuxPowerSources>(
        supplies, live ? std::make_unique<UPowerClient>(QDBusConnection::systemBus()) : nullptr);
    // One pass over hwmon and one over the thermal zones serve every sensor reader of a tick:
    // hwmon gives the controller's keys, the zones and the channels without a key are HID
    // sensors, and the zones' trips give the thermal state.
    auto hwmon = std::make_shared<HwmonReader>(root);
    auto zones = std::make_shared<ThermalZoneReader>(root);
    registry->addSource("AppleSMC", std::make_unique<LinuxSmc>(hwmon));
    registry->addSource(
        std::string(accelerator::serviceClass),
        std::make_unique<LinuxAccelerators>(root, installedDeviceNameDatabases(root), intelBusy));
    // NVIDIA's driver is asked through its own library, which reads this machine's devices and
    // gives the temperatures that driver has no hwmon chip for.
    auto driverTemperatures = std::make_shared<DriverTemperatures>();
    if (live)
        registry->addSource(
            std::string(accelerator::serviceClass),
            std::make_unique<NvidiaAccelerators>(root, std::string(nvidia::managementLibrary),
                                                 std::cout, driverTemperatures));
    platform->hid = std::make_unique<LinuxHidSensors>(hwmon, zones, driverTemperatures);
    platform->thermal = std::make_unique<LinuxThermalState>(root, zones);
    platform->registry = std::move(registry);
    return platform;
}

void lowerCurrentThreadPriority() {
    // On Linux a nice value belongs to a thread, named by its thread id; Qt's thread priorities
    // only take effect under real-time policies. Nice 10 yields to everything at the default 0
    // but, unlike SCHED_IDLE, still gets a share when a runaway process saturates the machine,
    // which is when the process list is wanted most.
    constexpr int backgroundNice = 10;
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), backgroundNice);
}

} // namespace orb::platform
