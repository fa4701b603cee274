#pragma once

#include "platform/VirtualMemory.h"

#include <optional>

namespace orb {

// One memory reading, in bytes except the pressure (a fraction 0-1).
struct MemoryReading {
    double used = 0; // may be negative with odd page counts: published as computed
    double wired = 0;
    double active = 0;
    double inactive = 0;
    double compressed = 0;
    double total = 0; // 0 when the memory size is unknown
    double pressure = 0;
    std::optional<platform::SwapUsage> swap; // empty when swap cannot be read
};

// Memory by use from the page counts. Keeps no state.
class MemoryReader {
public:
    explicit MemoryReader(platform::VirtualMemory& memory) : memory_(memory) {}
    // Empty when the page counts cannot be read: then nothing is published, not even the size
    // or swap.
    std::optional<MemoryReading> read();

private:
    platform::VirtualMemory& memory_;
};

} // namespace orb
