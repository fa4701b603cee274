#pragma once

#include "platform/DeviceRegistry.h"

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace orb {

// Bytes read and written since boot by one block-storage service.
struct DiskCounters {
    platform::RegistryEntryId id = 0;
    std::uint64_t read = 0;
    std::uint64_t written = 0;
};

// The counters of every block-storage service whose table has a statistics table; empty when
// the match fails. Services whose table cannot be read, is empty or has no statistics table are
// left out; a counter that is missing or not an unsigned 64-bit number is 0. Every service and
// the iterator are released before it returns.
std::vector<DiskCounters> readEachDisk(platform::DeviceRegistry& registry);

// (read, written) bytes summed over the services above; (0, 0) when the match fails.
std::pair<std::uint64_t, std::uint64_t> readDiskCounters(platform::DeviceRegistry& registry);

// Bytes moved since the previous reading; the tick is one second, so they are the rates.
struct DiskRates {
    double read = 0;
    double written = 0;
};

// Disk throughput since the previous reading. Keeps each disk's previous counters, so that a
// disk that appears, goes or is listed again neither adds its whole total to one second nor
// hides the others' traffic; construction takes the first ones.
class DiskThroughputReader {
public:
    explicit DiskThroughputReader(platform::DeviceRegistry& registry);

    // Empty while the previous reading had no bytes read at all (nothing to compare with). A
    // disk counts from its second reading on, and a counter that went down (reset) adds 0.
    std::optional<DiskRates> read();

private:
    platform::DeviceRegistry& registry_;
    std::unordered_map<platform::RegistryEntryId, DiskCounters> previous_;
};

} // namespace orb
