#include "fakes/FakePlatform.h"
#include "monitor/DiskThroughputReader.h"
#include "monitor/NetworkThroughputReader.h"
#include "platform/BlockStorage.h"

#include <gtest/gtest.h>

using namespace orb;
using orb::testing::FakeClock;
using orb::testing::FakeDeviceRegistry;
using orb::testing::FakeNetworkInterfaces;
using platform::LinkKind;
using platform::NetworkInterface;
using platform::PropertyTable;

namespace {

using Sums = std::pair<std::uint64_t, std::uint64_t>;
using Disks = std::vector<std::optional<PropertyTable>>;

NetworkInterface link(std::string name, std::uint64_t received, std::uint64_t sent,
                      LinkKind kind = LinkKind::Unclassified) {
    return {std::move(name), kind, platform::LinkStatistics{received, sent}};
}

std::optional<PropertyTable> disk(platform::PropertyValue read, platform::PropertyValue written) {
    using namespace platform::block_storage;
    return PropertyTable{{std::string(statisticsKey),
                          PropertyTable{{std::string(bytesReadKey), std::move(read)},
                                        {std::string(bytesWrittenKey), std::move(written)}}}};
}

void setDisks(FakeDeviceRegistry& registry, Disks disks) {
    registry.services[std::string(platform::block_storage::serviceClass)] = std::move(disks);
}

} // namespace

TEST(NetworkCounters, OnlyPhysicalLinksCount) {
    FakeNetworkInterfaces network;
    // Without a classification the name decides.
    network.links = std::vector{link("en0", 1, 10), link("pdp_ip0", 2, 20), link("bridge0", 4, 40),
                                link("lo0", 8, 80), link("utun0", 16, 160), link("awdl0", 32, 320)};
    EXPECT_EQ(readNetworkCounters(network), Sums(3, 30));

    // The platform's classification wins over the name; links without counters add nothing.
    network.links = std::vector{link("eth0", 1, 10, LinkKind::Physical),
                                link("en0.100", 2, 20, LinkKind::Virtual),
                                NetworkInterface{"en1", LinkKind::Unclassified, {}}};
    EXPECT_EQ(readNetworkCounters(network), Sums(1, 10));

    network.links.reset(); // the interfaces cannot be listed
    EXPECT_EQ(readNetworkCounters(network), Sums(0, 0));
}

TEST(NetworkThroughputReader, RatesAreBytesPerSecondSinceTheLastReading) {
    FakeNetworkInterfaces network;
    FakeClock clock;
    network.links = std::vector{link("en0", 10'000, 10'000)};
    NetworkThroughputReader reader(network, clock); // takes the first sums and the time

    const struct {
        double seconds;
        std::uint64_t received, sent;
        std::optional<std::pair<double, double>> rates;
    } steps[] = {
        {2, 12'048, 10'512, std::pair(1024.0, 256.0)},
        {1, 13'072, 1'059'088, std::pair(1024.0, 1'048'576.0)},
        {1, 100, 1'060'088, std::pair(0.0, 1000.0)}, // the interface restarted from zero
        // The clock did not move: no rates, but the sums are taken over.
        {0, 1'100, 1'060'088, std::nullopt},
        {1, 1'612, 1'060'088, std::pair(512.0, 0.0)},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.received);
        clock.advance(step.seconds);
        network.links = std::vector{link("en0", step.received, step.sent)};
        const auto rates = reader.read();
        ASSERT_EQ(rates.has_value(), step.rates.has_value());
        if (rates) {
            EXPECT_EQ(std::pair(rates->received, rates->sent), *step.rates);
        }
    }
}

TEST(DiskCounters, SumsTheStatisticsOfEveryReadableService) {
    FakeDeviceRegistry registry;
    setDisks(registry,
             {disk(1000, 10), std::nullopt, PropertyTable{}, PropertyTable{{"Name", "sdb"}},
              PropertyTable{{std::string(platform::block_storage::statisticsKey), "text"}},
              // Counters of the wrong kind or sign count as 0; exact conversions count.
              disk(-5, 4096.0), disk("7", "8"), disk(2000, 20)});
    EXPECT_EQ(readDiskCounters(registry), Sums(3000, 4126));
    EXPECT_EQ(registry.unreleased, 0);

    registry.matchFails = true;
    EXPECT_EQ(readDiskCounters(registry), Sums(0, 0));
}

TEST(DiskThroughputReader, RatesAreBytesSinceThePreviousReadingUnlessNothingWasReadBefore) {
    FakeDeviceRegistry registry;
    setDisks(registry, {disk(1'000, 500), disk(0, 500)});
    DiskThroughputReader reader(registry); // takes the first sums

    const struct {
        Disks disks;
        std::optional<std::pair<double, double>> rates;
    } steps[] = {
        {{disk(5'096, 600), disk(0, 500)}, std::pair(4096.0, 100.0)},
        {{disk(4'000, 1'600)}, std::pair(0.0, 500.0)}, // a disk was removed: the sum went down
        {{disk(0, 1'900)}, std::pair(0.0, 300.0)},     // the read counter was reset
        {{disk(10, 2'300)}, std::nullopt},             // nothing read before
        {{}, std::pair(0.0, 0.0)},                     // no block storage at all
        {{}, std::nullopt},
    };
    for (const auto& step : steps) {
        setDisks(registry, step.disks);
        const auto rates = reader.read();
        ASSERT_EQ(rates.has_value(), step.rates.has_value());
        if (rates) {
            EXPECT_EQ(std::pair(rates->read, rates->written), *step.rates);
        }
    }
    EXPECT_EQ(registry.unreleased, 0);
}
