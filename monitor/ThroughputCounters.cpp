#include "monitor/ThroughputCounters.h"

#include "platform/BlockStorage.h"

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

std::pair<std::uint64_t, std::uint64_t> readDiskCounters(platform::DeviceRegistry& registry) {
    using namespace platform::block_storage;
    auto services = registry.matchingServices(serviceClass);
    if (!services)
        return {0, 0};
    std::uint64_t read = 0;
    std::uint64_t written = 0;
    while (auto service = services->next()) {
        auto properties = service->properties();
        if (!properties || properties->empty())
            continue;
        auto statistics = properties->find(statisticsKey);
        if (!statistics || !statistics->table())
            continue;
        auto counter = [&](std::string_view key) -> std::uint64_t {
            auto value = statistics->table()->find(key);
            return value ? value->toUInt64().value_or(0) : 0;
        };
        read += counter(bytesReadKey);
        written += counter(bytesWrittenKey);
    }
    return {read, written};
}

} // namespace orb
