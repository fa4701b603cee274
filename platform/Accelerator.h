#pragma once

#include <string_view>

// The registry class of the graphics accelerators, one service per graphics processor, and the
// keys of its property table. Every key is optional: a figure the driver does not give is absent.
namespace orb::platform::accelerator {

inline constexpr std::string_view serviceClass = "IOAccelerator";

// A table of the processor's activity since the last reading.
inline constexpr std::string_view statisticsKey = "PerformanceStatistics";
inline constexpr std::string_view deviceUtilizationKey = "Device Utilization %"; // integer, 0-100
// Older drivers' name for the device utilisation, read only when the key above is missing.
inline constexpr std::string_view gpuActivityKey = "GPU Activity";                   // integer
inline constexpr std::string_view rendererUtilizationKey = "Renderer Utilization %"; // integer
inline constexpr std::string_view tilerUtilizationKey = "Tiler Utilization %";       // integer
inline constexpr std::string_view inUseMemoryKey = "In use system memory"; // integer, bytes
inline constexpr std::string_view allocMemoryKey = "Alloc system memory";  // integer, bytes
inline constexpr std::string_view recoveryCountKey = "recoveryCount";      // integer

// Top level.
inline constexpr std::string_view coreCountKey = "gpu-core-count"; // integer
inline constexpr std::string_view modelKey = "model";              // text
// The processor's own power draw as its driver measures it: a double, in watts. Absent where
// the driver gives none, and where the only figure covers more than the graphics processor
// (an APU's package power includes its CPU cores).
inline constexpr std::string_view powerKey = "PowerWatts";

} // namespace orb::platform::accelerator
