#include "monitor/NetworkThroughputReader.h"

#include <tuple>

namespace orb {

bool countsTowardThroughput(const platform::NetworkInterface& link) {
    switch (link.kind) {
    case platform::LinkKind::Physical:
        return true;
    case platform::LinkKind::Virtual:
        return false;
    case platform::LinkKind::Unclassified:
        break;
    }
    return link.name.starts_with("en") || link.name.starts_with("pdp_ip");
}

std::pair<std::uint64_t, std::uint64_t> readNetworkCounters(platform::NetworkInterfaces& network) {
    auto links = network.interfaces();
    if (!links)
        return {0, 0};
    std::uint64_t received = 0;
    std::uint64_t sent = 0;
    for (const auto& link : *links) {
        if (!link.statistics || !countsTowardThroughput(link))
            continue;
        received += link.statistics->receivedBytes;
        sent += link.statistics->sentBytes;
    }
    return {received, sent};
}

NetworkThroughputReader::NetworkThroughputReader(platform::NetworkInterfaces& network,
                                                 platform::Clock& clock)
    : network_(network), clock_(clock), lastCheckTime_(clock.now()) {
    std::tie(previousBytesIn_, previousBytesOut_) = readNetworkCounters(network_);
}

std::optional<NetworkRates> NetworkThroughputReader::read() {
    const auto [received, sent] = readNetworkCounters(network_);
    const auto now = clock_.now();
    const double elapsed = std::chrono::duration<double>(now - lastCheckTime_).count();
    std::optional<NetworkRates> rates;
    // After a reading without any counters (none could be read), the next would count every
    // byte since the interfaces came up as traffic of one tick: it only takes the sums.
    const bool comparable = previousBytesIn_ != 0 || previousBytesOut_ != 0;
    if (elapsed > 0 && comparable) {
        auto gained = [](std::uint64_t now, std::uint64_t before) {
            return static_cast<double>(now >= before ? now - before : 0);
        };
        rates = NetworkRates{gained(received, previousBytesIn_) / elapsed,
                             gained(sent, previousBytesOut_) / elapsed};
    }
    previousBytesIn_ = received;
    previousBytesOut_ = sent;
    lastCheckTime_ = now;
    return rates;
}

} // namespace orb
