#include "monitor/DiskThroughputReader.h"

#include "platform/BlockStorage.h"

#include <algorithm>

namespace orb {

std::vector<DiskCounters> readEachDisk(platform::DeviceRegistry& registry) {
    using namespace platform::block_storage;
    std::vector<DiskCounters> disks;
    auto services = registry.matchingServices(serviceClass);
    if (!services)
        return disks;
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
        disks.push_back({service->entryId(), counter(bytesReadKey), counter(bytesWrittenKey)});
    }
    return disks;
}

std::pair<std::uint64_t, std::uint64_t> readDiskCounters(platform::DeviceRegistry& registry) {
    std::uint64_t read = 0;
    std::uint64_t written = 0;
    for (const auto& disk : readEachDisk(registry)) {
        read += disk.read;
        written += disk.written;
    }
    return {read, written};
}

DiskThroughputReader::DiskThroughputReader(platform::DeviceRegistry& registry)
    : registry_(registry) {
    for (const auto& disk : readEachDisk(registry_))
        previous_[disk.id] = disk;
}

std::optional<DiskRates> DiskThroughputReader::read() {
    const auto disks = readEachDisk(registry_);
    // With no earlier reading (or none with any bytes read) there is nothing to compare with.
    const bool compared =
        std::ranges::any_of(previous_, [](const auto& entry) { return entry.second.read != 0; });
    DiskRates rates;
    for (const auto& disk : disks) {
        const auto before = previous_.find(disk.id);
        if (before == previous_.end())
            continue;
        auto gained = [](std::uint64_t now, std::uint64_t then) {
            return static_cast<double>(now >= then ? now - then : 0);
        };
        rates.read += gained(disk.read, before->second.read);
        rates.written += gained(disk.written, before->second.written);
    }
    previous_.clear();
    for (const auto& disk : disks)
        previous_[disk.id] = disk;
    if (!compared)
        return std::nullopt;
    return rates;
}

} // namespace orb
