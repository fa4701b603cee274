#pragma once

#include "platform/PropertyValue.h"

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace orb {

namespace platform {
class DeviceRegistry;
class RegistryService;
} // namespace platform

// Label to degrees Celsius.
using TemperatureTable = std::map<std::string, double>;

// Temperatures that drivers publish as plain properties of registry services: the system
// battery's, and every integer property whose name speaks of a temperature on the services of a
// fixed list of classes. Keeps no state: each read walks the registry afresh. Main thread only.
class IoregMonitor {
public:
    // The classes the scan walks, in this order.
    static constexpr std::array<std::string_view, 8> scannedClasses = {
        "AppleSmartBattery", "AppleCLPC",       "ApplePMGR",        "AppleEmbeddedTempSensor",
        "AppleAccumulator",  "IOPMPowerSource", "AppleARMIODevice", "IOPlatformDevice"};

    // The system battery's "Temperature" (hundredths of a degree) in degrees; empty without a
    // battery service or that property as an integer.
    static std::optional<double> batteryTemperature(platform::DeviceRegistry& registry);
    // Every temperature-like integer property of the scanned classes, under
    // "<sensor name>.<property>" as renamed by renamedLabel.
    static TemperatureTable registryTemperatures(platform::DeviceRegistry& registry);
    // The battery under "Battery", then every scanned entry whose label is not yet taken, but
    // the battery's own temperature seen again by the scan ("Battery Temp", and "Power Source
    // Temp" from the same service as a power source).
    static TemperatureTable read(platform::DeviceRegistry& registry);
    static constexpr std::string_view batteryTemperatureLabel = "Battery Temp";
    static constexpr std::string_view powerSourceTemperatureLabel = "Power Source Temp";

    // The service's property table; empty when it cannot be read.
    static std::optional<platform::PropertyTable> propertyTable(platform::RegistryService& service);
    // The names users know for a few labels; others stay as they are.
    static std::string renamedLabel(std::string label);
};

} // namespace orb
