#pragma once

#include "platform/Clock.h"
#include "platform/NetworkInterfaces.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <utility>

namespace orb {

// Whether an interface's bytes are the machine's network traffic: its Wi-Fi/Ethernet and
// cellular links. Where the platform does not classify a link, names beginning with "en" or
// "pdp_ip" count.
bool countsTowardThroughput(const platform::NetworkInterface& link);

// (received, sent) bytes summed over the counted interfaces that carry counters; (0, 0) when the
// interfaces cannot be listed. Sums wrap like the counters they add up.
std::pair<std::uint64_t, std::uint64_t> readNetworkCounters(platform::NetworkInterfaces& network);

// Bytes per second in each direction.
struct NetworkRates {
    double received = 0; // download
    double sent = 0;     // upload
};

// Network throughput since the previous reading. Keeps the previous sums and when they were
// taken; construction takes the first ones.
class NetworkThroughputReader {
public:
    NetworkThroughputReader(platform::NetworkInterfaces& network, platform::Clock& clock);

    // Empty when the clock did not advance or the previous sums are 0 (nothing to compare
    // with); the sums and time are taken over in every case. A sum that went down (a counter
    // wrapped or reset, an interface went away) gives 0.
    std::optional<NetworkRates> read();

private:
    platform::NetworkInterfaces& network_;
    platform::Clock& clock_;
    std::chrono::steady_clock::time_point lastCheckTime_;
    std::uint64_t previousBytesIn_ = 0;
    std::uint64_t previousBytesOut_ = 0;
};

} // namespace orb
