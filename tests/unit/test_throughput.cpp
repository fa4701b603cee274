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

NetworkInterface link(std::string name, std::uint64_t received, std::uint64_t sent,
                      LinkKind kind = LinkKind::Unclassified) {
    return {std::move(name), kind, platform::LinkStatistics{received, sent}};
}

void setTraffic(FakePlatform& fake, std::uint64_t received, std::uint64_t sent) {
    fake.network->links = std::vector{link("en0", received, sent)};
}

std::optional<PropertyTable> disk(std::uint64_t read, std::uint64_t written) {
    using namespace platform::block_storage;
    return PropertyTable{
        {std::string(statisticsKey), PropertyTable{{std::string(bytesReadKey), read},
                                                   {std::string(bytesWrittenKey), written}}}};
}

void setDisks(FakePlatform& fake, std::vector<std::optional<PropertyTable>> disks) {
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

TEST(NetworkUpdate, RatesAreBytesPerSecondAsText) {
    FakePlatform fake;
    setTraffic(fake, 10'000, 10'000);
    SystemMonitor monitor(fake.platform());

    struct Step {
        double seconds;
        std::uint64_t received, sent;
        const char *download, *upload;
    };
    for (const auto& step : {Step{2, 12'048, 10'512, "1.0 KB/s", "256 B/s"},
                             Step{1, 12'560, 10'512, "512 B/s", "0 B/s"},
                             Step{1, 13'584, 1'059'088, "1.0 KB/s", "1.0 MB/s"}}) {
        fake.clock->advance(step.seconds);
        setTraffic(fake, step.received, step.sent);
        monitor.updateNetwork();
        EXPECT_EQ(monitor.downloadSpeed(), step.download);
        EXPECT_EQ(monitor.uploadSpeed(), step.upload);
    }
    EXPECT_EQ(monitor.downloadHistory().last(), 1024.0);
    EXPECT_EQ(monitor.uploadHistory().last(), 1'048'576.0);
    EXPECT_EQ(monitor.downloadHistory().size(), 60);
    EXPECT_EQ(monitor.uploadHistory().size(), 60);
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

TEST(NetworkUpdate, ACounterThatWentDownOrAStillClockPublishesNoBogusRate) {
    FakePlatform fake;
    setTraffic(fake, 5'000, 5'000);
    SystemMonitor monitor(fake.platform());

    // The interface was restarted: its counters start again from zero.
    fake.clock->advance(1);
    setTraffic(fake, 100, 6'000);
    monitor.updateNetwork();
    EXPECT_EQ(monitor.downloadSpeed(), "0 B/s");
    EXPECT_EQ(monitor.uploadSpeed(), "1000 B/s");

    // The clock did not move: nothing is published, but the counters are taken over.
    int notifications = 0;
    QObject::connect(&monitor, &SystemMonitor::downloadSpeedChanged, [&] { ++notifications; });
    QObject::connect(&monitor, &SystemMonitor::downloadHistoryChanged, [&] { ++notifications; });
    setTraffic(fake, 1'100, 6'000);
    monitor.updateNetwork();
    EXPECT_EQ(notifications, 0);
    EXPECT_EQ(monitor.downloadSpeed(), "0 B/s");
    fake.clock->advance(1);
    setTraffic(fake, 1'612, 6'000);
    monitor.updateNetwork();
    EXPECT_EQ(monitor.downloadSpeed(), "512 B/s");

    // The interfaces vanish: the sums fall to zero, which reads as no traffic.
    fake.network->links.reset();
    fake.clock->advance(1);
    monitor.updateNetwork();
    EXPECT_EQ(monitor.downloadSpeed(), "0 B/s");
}

TEST(NetworkUpdate, FirstRateCoversOnlyTheTimeSinceStart) {
    FakePlatform fake;
    setTraffic(fake, 1'000'000'000, 1'000'000'000);
    SystemMonitor monitor(fake.platform());
    fake.clock->advance(1);
    setTraffic(fake, 1'000'000'100, 1'000'000'000);
    monitor.updateNetwork();
    EXPECT_EQ(monitor.downloadSpeed(), "100 B/s");
}

TEST(DiskCounters, SumsTheStatisticsOfEveryReadableService) {
    using namespace platform::block_storage;
    FakePlatform fake;
    setDisks(fake, {disk(1000, 10),
                    std::nullopt,    // properties unreadable
                    PropertyTable{}, // empty table
                    PropertyTable{{"Name", "sdb"}},
                    PropertyTable{{std::string(statisticsKey), "not a table"}},
                    // Counters of the wrong kind or sign count as 0; exact conversions count.
                    PropertyTable{{std::string(statisticsKey),
                                   PropertyTable{{std::string(bytesReadKey), -5},
                                                 {std::string(bytesWrittenKey), 4096.0}}}},
                    PropertyTable{{std::string(statisticsKey),
                                   PropertyTable{{std::string(bytesReadKey), "7"}}}},
                    disk(2000, 20)});
    EXPECT_EQ(readDiskCounters(*fake.registry), Sums(3000, 4126));
    EXPECT_EQ(fake.registry->unreleased, 0);

    fake.registry->matchFails = true;
    EXPECT_EQ(readDiskCounters(*fake.registry), Sums(0, 0));
}

TEST(DiskUpdate, RatesAreBytesSinceThePreviousTick) {
    FakePlatform fake;
    setDisks(fake, {disk(1'000, 500), disk(0, 500)});
    SystemMonitor monitor(fake.platform()); // seeds the counters

    setDisks(fake, {disk(5'096, 600), disk(0, 500)});
    monitor.updateDisk();
    EXPECT_EQ(monitor.diskReadBytesPerSec(), 4096);
    EXPECT_EQ(monitor.diskWriteBytesPerSec(), 100);
    EXPECT_EQ(monitor.diskReadHistory().last(), 4096);
    EXPECT_EQ(monitor.diskWriteHistory().last(), 100);

    // A disk was removed: the read sum went down, the write sum still grew.
    setDisks(fake, {disk(4'000, 1'600)});
    monitor.updateDisk();
    EXPECT_EQ(monitor.diskReadBytesPerSec(), 0);
    EXPECT_EQ(monitor.diskWriteBytesPerSec(), 500);
    EXPECT_EQ(monitor.diskReadHistory().size(), 60);
    EXPECT_EQ(monitor.diskWriteHistory().size(), 60);
}

TEST(DiskUpdate, WithNoReadBytesBeforeTheRatesStayButTheHistoriesMoveOn) {
    FakePlatform fake;
    setDisks(fake, {disk(1'000, 1'000)});
    SystemMonitor monitor(fake.platform());
    setDisks(fake, {disk(1'300, 1'200)});
    monitor.updateDisk();

    setDisks(fake, {disk(0, 1'500)}); // the read counter was reset
    monitor.updateDisk();
    EXPECT_EQ(monitor.diskReadBytesPerSec(), 0);
    EXPECT_EQ(monitor.diskWriteBytesPerSec(), 300);

    // Nothing read before: no comparison, the rates keep their values and are sampled again.
    setDisks(fake, {disk(10, 1'900)});
    monitor.updateDisk();
    EXPECT_EQ(monitor.diskWriteBytesPerSec(), 300);
    EXPECT_EQ(monitor.diskReadHistory().mid(57), History({300, 0, 0}));
    EXPECT_EQ(monitor.diskWriteHistory().mid(57), History({200, 300, 300}));

    fake.registry->services.clear(); // no block storage at all
    monitor.updateDisk();
    monitor.updateDisk();
    EXPECT_EQ(monitor.diskReadBytesPerSec(), 0);
    EXPECT_EQ(monitor.diskWriteBytesPerSec(), 0);
    EXPECT_EQ(monitor.diskWriteHistory().mid(58), History({0, 0}));
    EXPECT_EQ(fake.registry->unreleased, 0);
}
