#include "monitor/NetworkThroughputReader.h"

#include <string>
#include <unordered_map>

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
    return platform::hasPhysicalLinkName(link.name);
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

namespace {

// The counters of each counted interface, by name.
std::unordered_map<std::string, platform::LinkStatistics>
countedLinkCounters(platform::NetworkInterfaces& network) {
    std::unordered_map<std::string, platform::LinkStatistics> counters;
    if (auto links = network.interfaces()) {
        for (const auto& link : *links) {
            if (link.statistics && countsTowardThroughput(link))
                counters.emplace(link.name, *link.statistics);
        }
    }
    return counters;
}

} // namespace

NetworkThroughputReader::NetworkThroughputReader(platform::NetworkInterfaces& network,
                                                 platform::Clock& clock)
    : network_(network), clock_(clock), lastCheckTime_(clock.now()),
      previous_(countedLinkCounters(network_)) {}

std::optional<NetworkRates> NetworkThroughputReader::read() {
    auto counters = countedLinkCounters(network_);
    const auto now = clock_.now();
    const double elapsed = std::chrono::duration<double>(now - lastCheckTime_).count();
    std::optional<NetworkRates> rates;
    if (elapsed > 0) {
        // Each interface against its own previous counters: one that could not be read last
        // time (its files gone for a pass, the list unreadable) or has just come up starts
        // counting from here, instead of adding everything since it came up to one tick.
        auto gained = [](std::uint64_t now, std::uint64_t before) {
            return static_cast<double>(now >= before ? now - before : 0);
        };
        double received = 0, sent = 0;
        for (const auto& [name, link] : counters) {
            const auto before = previous_.find(name);
            if (before == previous_.end())
                continue;
            received += gained(link.receivedBytes, before->second.receivedBytes);
            sent += gained(link.sentBytes, before->second.sentBytes);
        }
        rates = NetworkRates{received / elapsed, sent / elapsed};
    }
    previous_ = std::move(counters);
    lastCheckTime_ = now;
    return rates;
}

} // namespace orb
