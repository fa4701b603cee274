#pragma once

#include <compare>
#include <map>
#include <string>
#include <string_view>

namespace orb::platform {

// An ARM core's type as /proc/cpuinfo gives it: the designer ("CPU implementer") and the design
// ("CPU part"). Cores of one type are alike, whatever cluster or clock they run in.
struct ArmCoreType {
    unsigned implementer = 0;
    unsigned part = 0;
    auto operator<=>(const ArmCoreType&) const = default;
};

// Each processor's core type, by processor number; empty where /proc/cpuinfo names none (any
// machine that is not ARM). Kernels that print the lines once, before any processor, give them
// to processor 0.
std::map<int, ArmCoreType> armCoreTypes(std::string_view cpuinfoText);

// Whether the type is one of the small cores built for efficiency (Cortex-A55, A510, ...), as
// their designers describe them.
bool isEfficiencyDesign(ArmCoreType type);

// The designer's name for the type ("Cortex-A76", "Neoverse-N1", "Kryo-4XX-Gold"); empty for a
// type the table does not know.
std::string armCoreName(ArmCoreType type);

} // namespace orb::platform
