#pragma once

#include "platform/Clock.h"
#include "platform/NetworkInterfaces.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
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

// Network throughput since the previous reading. Keeps each interface's previous counters and
// when they were taken; construction takes the first ones.
class NetworkThroughputReader {
public:
    NetworkThroughputReader(platform::NetworkInterfaces& network, platform::Clock& clock);

    // Empty when the clock did not advance; the counters and time are taken over in every case.
    // An interface counts from its second reading on, and a counter that went down (wrapped or
    // reset) adds 0.
    std::optional<NetworkRates> read();

private:
    platform::NetworkInterfaces& network_;
    platform::Clock& clock_;
    std::chrono::steady_clock::time_point lastCheckTime_;
    std::unordered_map<std::string, platform::LinkStatistics> previous_;
};

} // namespace orb
