#pragma once

#include <string_view>

// The registry class of the system battery, one service standing for all of the machine's own
// batteries, and the keys of its property table. Every key is optional: a figure the hardware
// does not give is absent.
namespace orb::platform::smart_battery {

inline constexpr std::string_view serviceClass = "AppleSmartBattery";

inline constexpr std::string_view voltageKey = "Voltage";   // integer, mV
inline constexpr std::string_view amperageKey = "Amperage"; // integer, mA, negative discharging
inline constexpr std::string_view cycleCountKey = "CycleCount";
inline constexpr std::string_view designCapacityKey = "DesignCapacity";       // integer, mAh
inline constexpr std::string_view rawMaxCapacityKey = "AppleRawMaxCapacity";  // integer, mAh
inline constexpr std::string_view temperatureKey = "Temperature";             // integer, 0.01 °C
inline constexpr std::string_view externalConnectedKey = "ExternalConnected"; // flag

// A table describing the adapter in use.
inline constexpr std::string_view adapterDetailsKey = "AdapterDetails";
inline constexpr std::string_view adapterWattsKey = "Watts";            // integer, W
inline constexpr std::string_view adapterCurrentKey = "Current";        // integer, mA
inline constexpr std::string_view adapterVoltageKey = "AdapterVoltage"; // integer, mV

// A table of power figures in watts (double, or single-precision float).
inline constexpr std::string_view batteryDataKey = "BatteryData";
inline constexpr std::string_view systemPowerKey = "SystemPower";
inline constexpr std::string_view adapterPowerKey = "AdapterPower";

// A table of the system's input.
inline constexpr std::string_view powerTelemetryKey = "PowerTelemetryData";
inline constexpr std::string_view systemVoltageInKey = "SystemVoltageIn"; // integer, mV
inline constexpr std::string_view systemCurrentInKey = "SystemCurrentIn"; // integer, mA

} // namespace orb::platform::smart_battery
