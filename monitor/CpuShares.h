#pragma once

#include "platform/ProcessorInfo.h"

#include <optional>

namespace orb {

// Shares of all processor time between two counter samples, as fractions 0-1.
struct CpuShares {
    double user = 0; // nice time included
    double system = 0;
};

// Compares the processors present in both samples (matched by processor number, so processors
// that went offline or came online in between are left out). A counter that went backwards adds
// nothing. Empty when no tick elapsed.
std::optional<CpuShares> cpuShares(const platform::ProcessorSample& previous,
                                   const platform::ProcessorSample& current);

} // namespace orb
