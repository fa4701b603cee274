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

// The processor shares since the previous sample. Keeps that sample; the first one only sets
// the baseline.
class CpuReader {
public:
    // Takes the processor count now; the first sample is taken by the first read().
    explicit CpuReader(platform::ProcessorInfo& processors);

    // Empty on the first sample, when the counters cannot be read (the previous sample stays)
    // and when no tick elapsed (the new sample replaces the previous one all the same).
    std::optional<CpuShares> read();
    unsigned processorCount() const { return processorCount_; }

private:
    platform::ProcessorInfo& processors_;
    unsigned processorCount_;
    std::optional<platform::ProcessorSample> previous_;
};

} // namespace orb
