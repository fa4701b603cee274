#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace orb::platform {

// Cumulative clock ticks of one logical processor since boot. The counters are 64-bit and only
// grow while the processor stays online; a processor that goes offline drops out of the sample.
struct ProcessorTicks {
    int id = 0; // the kernel's processor number, stable across samples
    std::uint64_t user = 0;
    std::uint64_t system = 0;
    std::uint64_t idle = 0;
    std::uint64_t nice = 0;
};

using ProcessorSample = std::vector<ProcessorTicks>;

class ProcessorInfo {
public:
    virtual ~ProcessorInfo() = default;
    // Per-processor counters of the processors online now; empty optional when unreadable.
    virtual std::optional<ProcessorSample> processorTicks() = 0;
    // Number of processors the system reports; 0 when unknown.
    virtual unsigned processorCount() = 0;
};

} // namespace orb::platform
