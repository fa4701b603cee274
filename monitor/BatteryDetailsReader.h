#pragma once

#include "platform/DeviceRegistry.h"

#include <cstdint>
#include <optional>

namespace orb {

// The figures of the system battery's service, each empty when its key is absent or of another
// kind. Units as the service gives them.
struct BatteryDetails {
    struct Adapter {
        std::optional<int> watts;
        std::optional<int> current;          // mA
        std::optional<std::int64_t> voltage; // mV
    };
    std::optional<std::int64_t> voltage;         // mV
    std::optional<std::int64_t> amperage;        // mA, negative while discharging
    std::optional<Adapter> adapter;              // empty: no adapter details at all
    std::optional<double> systemPower;           // W, never negative
    std::optional<double> adapterPower;          // W, never negative
    std::optional<std::int64_t> systemVoltageIn; // mV
    std::optional<std::int64_t> systemCurrentIn; // mA
    std::optional<int> cycleCount;
    std::optional<int> designCapacity;       // mAh
    std::optional<int> rawMaxCapacity;       // mAh
    std::optional<std::int64_t> temperature; // hundredths of a degree Celsius
    std::optional<bool> externalConnected;
};

// Reads the system battery's service from the device registry.
class BatteryDetailsReader {
public:
    explicit BatteryDetailsReader(platform::DeviceRegistry& registry) : registry_(registry) {}
    // Empty when the machine has no battery service or its properties cannot be read.
    std::optional<BatteryDetails> read();
    // The battery service's identity, for its interest messages; empty without one.
    std::optional<platform::RegistryEntryId> serviceId();

private:
    platform::DeviceRegistry& registry_;
};

} // namespace orb
