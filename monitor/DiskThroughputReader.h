#pragma once

#include "platform/DeviceRegistry.h"

#include <cstdint>
#include <optional>
#include <utility>

namespace orb {

// (read, written) bytes summed over the block-storage services; (0, 0) when the match fails.
// Services whose table cannot be read, is empty or has no statistics table add nothing; a
// counter that is missing or not an unsigned 64-bit number adds 0. Every service and the
// iterator are released before it returns.
std::pair<std::uint64_t, std::uint64_t> readDiskCounters(platform::DeviceRegistry& registry);

// Bytes moved since the previous reading; the tick is one second, so they are the rates.
struct DiskRates {
    double read = 0;
    double written = 0;
};

// Disk throughput since the previous reading. Keeps the previous sums; construction takes the
// first ones.
class DiskThroughputReader {
public:
    explicit DiskThroughputReader(platform::DeviceRegistry& registry);

    // Empty while the previous read sum is 0 (nothing to compare with). A sum that went down (a
    // disk removed, a counter reset) gives 0.
    std::optional<DiskRates> read();

private:
    platform::DeviceRegistry& registry_;
    std::uint64_t previousDiskRead_ = 0;
    std::uint64_t previousDiskWrite_ = 0;
};

} // namespace orb
