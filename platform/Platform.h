#pragma once

#include "platform/Clock.h"
#include "platform/DeviceRegistry.h"
#include "platform/HidEventSystem.h"
#include "platform/HostInfo.h"
#include "platform/NetworkInterfaces.h"
#include "platform/PowerSources.h"
#include "platform/ProcessTable.h"
#include "platform/ProcessorInfo.h"
#include "platform/ThermalState.h"
#include "platform/VirtualMemory.h"
#include "platform/WiFi.h"

#include <memory>

namespace orb::platform {

// The facilities the readers stand on. The program gets the real ones for its operating system
// from makeSystemPlatform(); tests assemble fakes.
struct Platform {
    std::unique_ptr<Clock> clock;
    std::unique_ptr<ProcessorInfo> processors;
    std::unique_ptr<HostInfo> host;
    std::unique_ptr<WiFi> wifi;
    std::unique_ptr<VirtualMemory> memory;
    std::unique_ptr<NetworkInterfaces> network;
    std::unique_ptr<DeviceRegistry> registry;
    std::unique_ptr<PowerSources> power;
    std::unique_ptr<HidFunctionResolver> hid; // null where the HID sensor functions are missing
    std::unique_ptr<ThermalState> thermal;
    std::unique_ptr<ProcessTable> processes; // read on the process walk's thread only
};

// The real platform, reading the system below `root` (a fixture tree in tests, "/" normally).
std::unique_ptr<Platform> makeSystemPlatform(const std::string& root = "/");

// Lowers the calling thread's scheduling priority for background work that must yield to the
// user's programs but still make progress on a machine that is fully busy.
void lowerCurrentThreadPriority();

} // namespace orb::platform
