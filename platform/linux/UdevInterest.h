#pragma once

#include "platform/DeviceRegistry.h"

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

namespace orb::platform {

// What a udev event (`action` on the device at `devicePath`) tells the watcher of `watched`:
// nothing when it is about another device, removal when the device went away, and a change of
// state for anything else (a change, a driver bound or unbound).
std::optional<InterestMessage>
udevInterestMessage(RegistryEntryId watched, std::string_view devicePath, std::string_view action);

// Watches the devices of the kernel subsystem `subsystem` through udev and hands the messages
// about the service `service` to `callback` on the calling thread's event loop. Null when the
// monitor cannot be set up (no netlink access, a thread without an event loop).
std::unique_ptr<InterestNotification>
watchUdevDevice(std::string_view subsystem, RegistryEntryId service, InterestCallback callback);

// Calls `changed` on the calling thread's event loop after any udev event of a device of the
// kernel subsystem `subsystem`; a burst of events read in one wake-up calls it once. Null when
// the monitor cannot be set up.
std::unique_ptr<InterestNotification> watchUdevSubsystem(std::string_view subsystem,
                                                         std::function<void()> changed);

} // namespace orb::platform
