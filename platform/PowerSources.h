#pragma once

#include "platform/DeviceRegistry.h"
#include "platform/PropertyValue.h"

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace orb::platform {

// The keys of a power source's description table and the values the readers look for.
namespace power_source {
inline constexpr std::string_view typeKey = "Type"; // text
inline constexpr std::string_view internalBattery = "InternalBattery";
inline constexpr std::string_view currentCapacityKey = "Current Capacity"; // integer, any unit
inline constexpr std::string_view maxCapacityKey = "Max Capacity";         // the same unit
inline constexpr std::string_view isChargingKey = "Is Charging";           // flag
inline constexpr std::string_view stateKey = "Power Source State";         // text:
inline constexpr std::string_view acPower = "AC Power";
inline constexpr std::string_view batteryPower = "Battery Power";
// Integer minutes; 0 or less while the system is still estimating.
inline constexpr std::string_view timeToEmptyKey = "Time to Empty";
inline constexpr std::string_view timeToFullKey = "Time to Full Charge";
inline constexpr std::string_view healthKey = "BatteryHealth"; // text, as the hardware says it
} // namespace power_source

// The system's power sources: a snapshot of one description table per source, and a
// notification when any of them changes.
class PowerSources {
public:
    virtual ~PowerSources() = default;
    // Each source's description, in the system's order (a description that is not a table is
    // kept as it came); empty when no snapshot can be taken. Never waits.
    virtual std::optional<std::vector<PropertyValue>> descriptions() = 0;
    // Calls `changed` from the calling thread's event loop whenever the sources change, until
    // the registration is destroyed; null when changes cannot be watched.
    virtual std::unique_ptr<InterestNotification> notifyChanges(std::function<void()> changed) = 0;
};

} // namespace orb::platform
