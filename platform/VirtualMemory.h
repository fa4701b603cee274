#pragma once

#include <cstdint>
#include <optional>

namespace orb::platform {

// Page counts of physical memory by use. Used memory is active + wired + compressed - purgeable
// - external; inactive pages hold data that can be dropped and do not count as used.
struct PageCounts {
    std::uint64_t active = 0;     // in use by programs
    std::uint64_t inactive = 0;   // holding data the system gives back on demand
    std::uint64_t wired = 0;      // locked in memory, never paged out or reclaimed
    std::uint64_t compressed = 0; // occupied by compressed memory
    std::uint64_t purgeable = 0;  // counted above, but discardable at once
    std::uint64_t external = 0;   // counted above, but backed by files and reclaimable
};

struct SwapUsage {
    std::uint64_t total = 0; // bytes
    std::uint64_t used = 0;  // bytes
};

class VirtualMemory {
public:
    virtual ~VirtualMemory() = default;
    // Bytes per page; 0 when unknown.
    virtual std::uint64_t pageSize() = 0;
    // Empty when the statistics cannot be read.
    virtual std::optional<PageCounts> pageCounts() = 0;
    // Physical memory in bytes.
    virtual std::optional<std::uint64_t> memorySize() = 0;
    virtual std::optional<SwapUsage> swapUsage() = 0;
};

} // namespace orb::platform
