#pragma once

namespace orb::platform {

// How hard the machine is working to stay cool, as one number: 0 nominal, 1 fair, 2 serious,
// 3 critical. Any other number means the state cannot be told.
using ThermalStateLevel = int;

inline constexpr ThermalStateLevel thermalNominal = 0;
inline constexpr ThermalStateLevel thermalFair = 1;
inline constexpr ThermalStateLevel thermalSerious = 2;
inline constexpr ThermalStateLevel thermalCritical = 3;
inline constexpr ThermalStateLevel thermalUnknown = -1;

// The system's thermal state, read at the moment it is asked for. Each platform says from what.
class ThermalState {
public:
    virtual ~ThermalState() = default;
    virtual ThermalStateLevel thermalState() = 0;
};

} // namespace orb::platform
