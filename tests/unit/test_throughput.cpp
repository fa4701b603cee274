#include "fakes/FakePlatform.h"
#include "monitor/SystemMonitor.h"
#include "monitor/ThroughputCounters.h"
#include "platform/BlockStorage.h"

#include <gtest/gtest.h>

using namespace orb;
using orb::testing::FakePlatform;
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

void setTraffic(FakePlatform& fake, std::uint64_t received, std::uint64_t sent) {
    fake.network->links = std::vector{link("en0", received, sent)};
}

std::optional<PropertyTable> disk(platform::PropertyValue read, platform::PropertyValue written) {
    using namespace platform::block_storage;
    return PropertyTable{{std::string(statisticsKey),
                          PropertyTable{{std::string(bytesReadKey), std::move(read)},
                                        {std::string(bytesWrittenKey), std::move(written)}}}};
}

void setDisks(FakePlatform& fake, Disks disks) {
    fake.registry->services[std::string(platform::block_storage::serviceClass)] = std::move(disks);
}

} // namespace

TEST(NetworkCounters, OnlyPhysicalLinksCount) {
    FakePlatform fake;
    // Without a classification the name decides.
    fake.network->links =
        std::vector{link("en0", 1, 10), link("pdp_ip0", 2, 20), link("bridge0", 4, 40),
                    link("lo0", 8, 80), link("utun0", 16, 160), link("awdl0", 32, 320)};
    EXPECT_EQ(readNetworkCounters(*fake.network), Sums(3, 30));

    // The platform's classification wins over the name; links without counters add nothing.
    fake.network->links = std::vector{link("eth0", 1, 10, LinkKind::Physical),
                                      link("en0.100", 2, 20, LinkKind::Virtual),
                                      NetworkInterface{"en1", LinkKind::Unclassified, {}}};
    EXPECT_EQ(readNetworkCounters(*fake.network), Sums(1, 10));

    fake.network->links.reset(); // the interfaces cannot be listed
    EXPECT_EQ(readNetworkCounters(*fake.network), Sums(0, 0));
}

TEST(NetworkUpdate, RatesAreBytesPerSecondSinceTheLastReading) {
    FakePlatform fake;
    setTraffic(fake, 10'000, 10'000);
    SystemMonitor monitor(fake.platform()); // seeds the counters and the time
    int notifications = 0;
    QObject::connect(&monitor, &SystemMonitor::downloadSpeedChanged, [&] { ++notifications; });
    QObject::connect(&monitor, &SystemMonitor::downloadHistoryChanged, [&] { ++notifications; });

    const struct {
        double seconds;
        std::uint64_t received, sent;
        const char *download, *upload;
    } steps[] = {
        {2, 12'048, 10'512, "1.0 KB/s", "256 B/s"},
        {1, 12'560, 10'512, "512 B/s", "0 B/s"},
        {1, 13'584, 1'059'088, "1.0 KB/s", "1.0 MB/s"},
        {1, 100, 1'060'088, "0 B/s", "1000 B/s"}, // the interface restarted from zero
        // The clock did not move: nothing is published, but the counters are taken over.
        {0, 1'100, 1'060'088, "0 B/s", "1000 B/s"},
        {1, 1'612, 1'060'088, "512 B/s", "0 B/s"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.received);
        notifications = 0;
        fake.clock->advance(step.seconds);
        setTraffic(fake, step.received, step.sent);
        monitor.updateNetwork();
        EXPECT_EQ(monitor.downloadSpeed(), step.download);
        EXPECT_EQ(monitor.uploadSpeed(), step.upload);
        EXPECT_EQ(notifications > 0, step.seconds > 0);
    }
    EXPECT_EQ(monitor.downloadHistory().mid(55), History({1024, 512, 1024, 0, 512}));
    EXPECT_EQ(monitor.uploadHistory().mid(55), History({256, 0, 1'048'576, 1000, 0}));
}

TEST(NetworkUpdate, BothHistoriesGrowBeforeEitherIsTrimmed) {
    FakePlatform fake;
    SystemMonitor monitor(fake.platform());
    QStringList seen;
    QObject::connect(&monitor, &SystemMonitor::downloadHistoryChanged,
                     [&] { seen << QString("down %1").arg(monitor.downloadHistory().size()); });
    QObject::connect(&monitor, &SystemMonitor::uploadHistoryChanged,
                     [&] { seen << QString("up %1").arg(monitor.uploadHistory().size()); });
    fake.clock->advance(1);
    monitor.updateNetwork();
    EXPECT_EQ(seen, QStringList({"down 61", "up 61", "down 60", "up 60"}));
}

TEST(DiskCounters, SumsTheStatisticsOfEveryReadableService) {
    FakePlatform fake;
    setDisks(fake, {disk(1000, 10), std::nullopt, PropertyTable{}, PropertyTable{{"Name", "sdb"}},
                    PropertyTable{{std::string(platform::block_storage::statisticsKey), "text"}},
                    // Counters of the wrong kind or sign count as 0; exact conversions count.
                    disk(-5, 4096.0), disk("7", "8"), disk(2000, 20)});
    EXPECT_EQ(readDiskCounters(*fake.registry), Sums(3000, 4126));
    EXPECT_EQ(fake.registry->unreleased, 0);

    fake.registry->matchFails = true;
    EXPECT_EQ(readDiskCounters(*fake.registry), Sums(0, 0));
}

TEST(DiskUpdate, RatesAreBytesSinceThePreviousTickUnlessNothingWasReadBefore) {
    FakePlatform fake;
    setDisks(fake, {disk(1'000, 500), disk(0, 500)});
    SystemMonitor monitor(fake.platform()); // seeds the counters

    const struct {
        Disks disks;
        double read, written;
    } steps[] = {
        {{disk(5'096, 600), disk(0, 500)}, 4096, 100},
        {{disk(4'000, 1'600)}, 0, 500}, // a disk was removed: the read sum went down
        {{disk(0, 1'900)}, 0, 300},     // the read counter was reset
        // Nothing read before: the rates keep their values, and are sampled again.
        {{disk(10, 2'300)}, 0, 300},
        {{}, 0, 0}, // no block storage at all
        {{}, 0, 0},
    };
    for (const auto& step : steps) {
        setDisks(fake, step.disks);
        monitor.updateDisk();
        EXPECT_EQ(monitor.diskReadBytesPerSec(), step.read);
        EXPECT_EQ(monitor.diskWriteBytesPerSec(), step.written);
    }
    EXPECT_EQ(monitor.diskReadHistory().mid(54), History({4096, 0, 0, 0, 0, 0}));
    EXPECT_EQ(monitor.diskWriteHistory().mid(54), History({100, 500, 300, 300, 0, 0}));
    EXPECT_EQ(fake.registry->unreleased, 0);
}
