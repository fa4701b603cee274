#pragma once

#include "platform/DeviceRegistry.h"
#include "platform/NetworkInterfaces.h"

#include <cstdint>
#include <utility>

namespace orb {

// Whether an interface's bytes are the machine's network traffic: its Wi-Fi/Ethernet and
// cellular links. Where the platform does not classify a link, names beginning with "en" or
// "pdp_ip" count.
bool countsTowardThroughput(const platform::NetworkInterface& link);

// (received, sent) bytes summed over the counted interfaces that carry counters; (0, 0) when the
// interfaces cannot be listed. Sums wrap like the counters they add up.
std::pair<std::uint64_t, std::uint64_t> readNetworkCounters(platform::NetworkInterfaces& network);

// (read, written) bytes summed over the block-storage services; (0, 0) when the match fails.
// Services whose table cannot be read, is empty or has no statistics table add nothing; a
// counter that is missing or not an unsigned 64-bit number adds 0. Every service and the
// iterator are released before it returns.
std::pair<std::uint64_t, std::uint64_t> readDiskCounters(platform::DeviceRegistry& registry);

} // namespace orb
