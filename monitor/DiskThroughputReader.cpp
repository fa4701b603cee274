#include "monitor/DiskThroughputReader.h"

#include "platform/BlockStorage.h"

#include <tuple>

namespace orb {

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

DiskThroughputReader::DiskThroughputReader(platform::DeviceRegistry& registry)
    : registry_(registry) {
    std::tie(previousDiskRead_, previousDiskWrite_) = readDiskCounters(registry_);
}

std::optional<DiskRates> DiskThroughputReader::read() {
    const auto [read, written] = readDiskCounters(registry_);
    // With no earlier reading (or none with any bytes) there is nothing to compare with.
    std::optional<DiskRates> rates;
    if (previousDiskRead_ != 0) {
        auto gained = [](std::uint64_t now, std::uint64_t before) {
            return static_cast<double>(now >= before ? now - before : 0);
        };
        rates = DiskRates{gained(read, previousDiskRead_), gained(written, previousDiskWrite_)};
    }
    previousDiskRead_ = read;
    previousDiskWrite_ = written;
    return rates;
}

} // namespace orb
