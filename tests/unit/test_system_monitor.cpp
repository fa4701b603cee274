#include "fakes/FakePlatform.h"
#include "monitor/SystemMonitor.h"
#include "sensors/GPUMonitor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaProperty>
#include <QThread>
#include <gtest/gtest.h>

using namespace orb;
using orb::testing::FakePlatform;
using orb::testing::ticks;

namespace {

QList<QList<double>> historiesOf(const SystemMonitor& m) {
    return {m.cpuHistory(),          m.gpuHistory(),          m.uploadHistory(),
            m.downloadHistory(),     m.batteryWattsHistory(), m.adapterWattsHistory(),
            m.diskReadHistory(),     m.diskWriteHistory()};
}

} // namespace

TEST(SystemMonitor, StartsWithInitialValuesAndFullHistories) {
    FakePlatform fake;
    fake.host->brand = "Intel(R) Core(TM) i7-2600 CPU @ 3.40GHz";
    fake.host->cores = {8, 16};
    fake.processors->count = 4;
    SystemMonitor monitor(fake.platform());

    for (const auto& history : historiesOf(monitor)) {
        ASSERT_EQ(history.size(), 60);
        EXPECT_TRUE(std::all_of(history.begin(), history.end(), [](double v) { return v == 0; }));
    }
    EXPECT_EQ(monitor.timeRemaining(), "Unknown");
    EXPECT_EQ(monitor.thermalState(), "Nominal");
    EXPECT_TRUE(monitor.activeWindow().isEmpty());
    EXPECT_EQ(monitor.cpuBrandString(), "Intel(R) Core(TM) i7-2600 CPU @ 3.40GHz");
    EXPECT_EQ(monitor.cpuPCoreCount(), 8);
    EXPECT_EQ(monitor.cpuECoreCount(), 16);
    EXPECT_EQ(monitor.numCPUs(), 4u);
}

TEST(SystemMonitor, PublishesEveryFieldAsAPropertyInDeclarationOrder) {
    FakePlatform fake;
    SystemMonitor monitor(fake.platform());
    const QMetaObject* meta = monitor.metaObject();
    const int first = QObject::staticMetaObject.propertyCount();
    ASSERT_EQ(meta->propertyCount() - first, 79);
    EXPECT_STREQ(meta->property(first).name(), "activeWindow");
    EXPECT_STREQ(meta->property(first + 1).name(), "cpuUsage");
    EXPECT_STREQ(meta->property(meta->propertyCount() - 1).name(), "cpuECoreCount");
    for (int i = first; i < meta->propertyCount(); ++i) {
        EXPECT_TRUE(meta->property(i).hasNotifySignal()) << meta->property(i).name();
        // Only the open detail window is assigned from outside the engine.
        EXPECT_EQ(meta->property(i).isWritable(), i == first) << meta->property(i).name();
    }
}

TEST(SystemMonitor, FirstProcessorSampleOnlySetsTheBaseline) {
    FakePlatform fake;
    fake.processors->samples = {platform::ProcessorSample{ticks(0, 100, 100, 100)},
                                platform::ProcessorSample{ticks(0, 130, 110, 160)}};
    SystemMonitor monitor(fake.platform());
    EXPECT_EQ(monitor.cpuUsage(), 0);
    EXPECT_EQ(monitor.cpuHistory().last(), 0);

    monitor.updateCPU();
    EXPECT_DOUBLE_EQ(monitor.cpuUser(), 0.3);
    EXPECT_DOUBLE_EQ(monitor.cpuSystem(), 0.1);
    EXPECT_DOUBLE_EQ(monitor.cpuUsage(), 0.4);
    EXPECT_DOUBLE_EQ(monitor.cpuHistory().last(), 0.4);
    EXPECT_EQ(monitor.cpuHistory().size(), 60);
}

TEST(SystemMonitor, ProcessorReadingsSurviveFailedOrIdleSamples) {
    FakePlatform fake;
    fake.processors->samples = {platform::ProcessorSample{ticks(0, 0, 0, 0)},
                                platform::ProcessorSample{ticks(0, 50, 0, 50)},
                                std::nullopt, // the counters could not be read
                                platform::ProcessorSample{ticks(0, 50, 0, 50)}, // no tick elapsed
                                platform::ProcessorSample{ticks(0, 50, 0, 150)}};
    SystemMonitor monitor(fake.platform());
    monitor.updateCPU();
    ASSERT_DOUBLE_EQ(monitor.cpuUsage(), 0.5);

    int notifications = 0;
    QObject::connect(&monitor, &SystemMonitor::cpuUsageChanged, [&] { ++notifications; });
    monitor.updateCPU(); // unreadable: nothing changes
    monitor.updateCPU(); // nothing elapsed: nothing published, no history sample
    EXPECT_EQ(notifications, 0);
    EXPECT_DOUBLE_EQ(monitor.cpuUsage(), 0.5);
    EXPECT_DOUBLE_EQ(monitor.cpuHistory().last(), 0.5);

    // The baseline kept moving: the next share covers only the last interval.
    monitor.updateCPU();
    EXPECT_DOUBLE_EQ(monitor.cpuUsage(), 0.0);
}

TEST(SystemMonitor, HistoriesKeepSixtySamplesOldestFirst) {
    FakePlatform fake;
    SystemMonitor monitor(fake.platform());

    QList<int> sizesSeen;
    QObject::connect(&monitor, &SystemMonitor::gpuHistoryChanged,
                     [&] { sizesSeen << static_cast<int>(monitor.gpuHistory().size()); });
    for (int i = 1; i <= 150; ++i) {
        GPUStats stats;
        stats.utilization = i / 1000.0;
        monitor.publishGPU(stats);
    }
    EXPECT_EQ(monitor.gpuHistory().size(), 60);
    EXPECT_DOUBLE_EQ(monitor.gpuHistory().first(), 0.091);
    EXPECT_DOUBLE_EQ(monitor.gpuHistory().last(), 0.150);
    // Each sample is an append and a trim, and observers see both.
    ASSERT_EQ(sizesSeen.size(), 300);
    EXPECT_EQ(sizesSeen[0], 61);
    EXPECT_EQ(sizesSeen[1], 60);

    for (int i = 0; i < 100; ++i)
        monitor.sampleTick();
    for (const auto& history : historiesOf(monitor))
        EXPECT_EQ(history.size(), 60);
}

TEST(SystemMonitor, EveryAssignmentIsAnnouncedEvenWhenUnchanged) {
    FakePlatform fake;
    fake.host->load = {0.5, 0.25, 0.125};
    SystemMonitor monitor(fake.platform());
    int notifications = 0;
    QObject::connect(&monitor, &SystemMonitor::loadAvg1Changed, [&] { ++notifications; });
    monitor.updateLoadAndUptime();
    monitor.updateLoadAndUptime();
    EXPECT_EQ(notifications, 2);
    EXPECT_EQ(monitor.loadAvg5(), 0.25);
    EXPECT_EQ(monitor.loadAvg15(), 0.125);
}

TEST(SystemMonitor, GraphicsReadingKeepsModelAndCoresWhenTheRecordHasNone) {
    FakePlatform fake;
    SystemMonitor monitor(fake.platform());
    GPUStats named;
    named.utilization = 0.5;
    named.coreCount = 10;
    named.modelName = "Radeon RX 580";
    named.memoryUsed = 512;
    monitor.publishGPU(named);

    monitor.publishGPU(GPUStats{});
    EXPECT_EQ(monitor.gpuCoreCount(), 10);
    EXPECT_EQ(monitor.gpuModelName(), "Radeon RX 580");
    EXPECT_EQ(monitor.gpuUsage(), 0);
    EXPECT_EQ(monitor.gpuMemoryUsed(), 0);
    EXPECT_EQ(monitor.gpuHistory().last(), 0);
}

TEST(SystemMonitor, UptimeIsNeverNegativeAndSurvivesAFailedBootQuery) {
    FakePlatform fake;
    fake.clock->wallSeconds = 10'000.9;
    fake.host->boot = 4'000;
    SystemMonitor monitor(fake.platform());
    monitor.updateLoadAndUptime();
    EXPECT_EQ(monitor.uptimeSeconds(), 6'000);

    fake.host->boot.reset();
    monitor.updateLoadAndUptime();
    EXPECT_EQ(monitor.uptimeSeconds(), 6'000);

    fake.host->boot = 20'000; // the clock was set back behind the boot time
    monitor.updateLoadAndUptime();
    EXPECT_EQ(monitor.uptimeSeconds(), 0);
}

TEST(SystemMonitor, WiFiFieldsFollowTheInterfaceAndStayWithoutOne) {
    FakePlatform fake;
    SystemMonitor monitor(fake.platform());
    fake.wifi->link = platform::WiFiLink{-61, -92, 866.7, 36};
    monitor.updateWiFi();
    EXPECT_EQ(monitor.wifiRSSI(), -61);
    EXPECT_EQ(monitor.wifiNoise(), -92);
    EXPECT_DOUBLE_EQ(monitor.wifiTxRate(), 866.7);
    EXPECT_EQ(monitor.wifiChannel(), 36);

    fake.wifi->link.reset();
    monitor.updateWiFi();
    EXPECT_EQ(monitor.wifiRSSI(), -61);
    EXPECT_EQ(monitor.wifiChannel(), 36);

    fake.wifi->link = platform::WiFiLink{-70, -95, 6.5, 0}; // associated, no current channel
    monitor.updateWiFi();
    EXPECT_EQ(monitor.wifiRSSI(), -70);
    EXPECT_EQ(monitor.wifiChannel(), 0);
}

TEST(SystemMonitor, TimersDriveTheTickOnTheOwningThread) {
    FakePlatform fake;
    fake.processors->samples = {platform::ProcessorSample{ticks(0, 0, 0, 0)},
                                platform::ProcessorSample{ticks(0, 25, 25, 50)}};
    SystemMonitor monitor(fake.platform());
    QThread* tickThread = nullptr;
    QObject::connect(&monitor, &SystemMonitor::tickCompleted,
                     [&] { tickThread = QThread::currentThread(); });
    QElapsedTimer waited;
    waited.start();
    while (!tickThread && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    ASSERT_EQ(tickThread, QThread::currentThread());
    EXPECT_DOUBLE_EQ(monitor.cpuUsage(), 0.5);
}
