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
using platform::ProcessorSample;

namespace {

QList<History> historiesOf(const SystemMonitor& m) {
    return {m.cpuHistory(),      m.gpuHistory(),          m.uploadHistory(),
            m.downloadHistory(), m.batteryWattsHistory(), m.adapterWattsHistory(),
            m.diskReadHistory(), m.diskWriteHistory()};
}

} // namespace

TEST(SystemMonitor, StartsWithZeroedHistoriesAndPublishesEveryFieldWithANotifier) {
    FakePlatform fake;
    SystemMonitor monitor(fake.platform());
    for (const auto& history : historiesOf(monitor))
        EXPECT_EQ(history, History(60, 0.0));
    EXPECT_EQ(monitor.timeRemaining(), "Unknown");
    EXPECT_EQ(monitor.thermalState(), "Nominal");

    const QMetaObject* meta = monitor.metaObject();
    const int first = QObject::staticMetaObject.propertyCount();
    ASSERT_EQ(meta->propertyCount() - first, 79);
    EXPECT_STREQ(meta->property(first).name(), "activeWindow");
    for (int i = first; i < meta->propertyCount(); ++i) {
        EXPECT_TRUE(meta->property(i).hasNotifySignal()) << meta->property(i).name();
        // Only the open detail window is assigned from outside the engine.
        EXPECT_EQ(meta->property(i).isWritable(), i == first) << meta->property(i).name();
    }
}

TEST(SystemMonitor, FirstProcessorSampleSeedsAndFailedOrIdleSamplesKeepTheReading) {
    FakePlatform fake;
    fake.processors->samples = {ProcessorSample{ticks(0, 100, 100, 100)},
                                ProcessorSample{ticks(0, 130, 110, 160)},
                                std::nullopt,                             // unreadable
                                ProcessorSample{ticks(0, 130, 110, 160)}, // no tick elapsed
                                ProcessorSample{ticks(0, 130, 110, 260)}};
    SystemMonitor monitor(fake.platform());
    EXPECT_EQ(monitor.cpuUsage(), 0);
    monitor.updateCPU();
    EXPECT_DOUBLE_EQ(monitor.cpuUser(), 0.3);
    EXPECT_DOUBLE_EQ(monitor.cpuSystem(), 0.1);
    EXPECT_DOUBLE_EQ(monitor.cpuUsage(), 0.4);
    EXPECT_DOUBLE_EQ(monitor.cpuHistory().last(), 0.4);

    int notifications = 0;
    QObject::connect(&monitor, &SystemMonitor::cpuUsageChanged, [&] { ++notifications; });
    QObject::connect(&monitor, &SystemMonitor::cpuHistoryChanged, [&] { ++notifications; });
    monitor.updateCPU();
    monitor.updateCPU();
    EXPECT_EQ(notifications, 0);
    EXPECT_DOUBLE_EQ(monitor.cpuUsage(), 0.4);

    // The baseline kept moving: the next share covers only the last interval.
    monitor.updateCPU();
    EXPECT_DOUBLE_EQ(monitor.cpuUsage(), 0.0);
}

TEST(SystemMonitor, HistoriesKeepSixtySamplesAndGraphicsRecordsWithoutModelKeepTheOldOne) {
    FakePlatform fake;
    SystemMonitor monitor(fake.platform());
    monitor.publishGPU({.memoryUsed = 512, .coreCount = 10, .modelName = "Radeon RX 580"});
    QList<qsizetype> sizesSeen;
    QObject::connect(&monitor, &SystemMonitor::gpuHistoryChanged,
                     [&] { sizesSeen << monitor.gpuHistory().size(); });
    GPUStats stats; // with neither model nor cores: the earlier ones stay
    for (int i = 1; i <= 150; ++i) {
        stats.utilization = i / 1000.0;
        monitor.publishGPU(stats);
    }
    EXPECT_EQ(monitor.gpuHistory().size(), 60);
    EXPECT_DOUBLE_EQ(monitor.gpuHistory().first(), 0.091);
    EXPECT_DOUBLE_EQ(monitor.gpuHistory().last(), 0.150);
    // Each sample is an append and a trim, and observers see both.
    ASSERT_EQ(sizesSeen.size(), 300);
    EXPECT_EQ(sizesSeen.mid(0, 2), QList<qsizetype>({61, 60}));
    EXPECT_EQ(monitor.gpuModelName(), "Radeon RX 580");
    EXPECT_EQ(monitor.gpuCoreCount(), 10);
    EXPECT_EQ(monitor.gpuMemoryUsed(), 0);

    for (int i = 0; i < 100; ++i)
        monitor.sampleTick();
    for (const auto& history : historiesOf(monitor))
        EXPECT_EQ(history.size(), 60);
}

TEST(SystemMonitor, EveryAssignmentIsAnnouncedAndUptimeIsNeverNegative) {
    FakePlatform fake;
    fake.host->load = {0.5, 0.25, 0.125};
    fake.clock->wallSeconds = 10'000.9;
    SystemMonitor monitor(fake.platform());
    int notifications = 0;
    QObject::connect(&monitor, &SystemMonitor::loadAvg15Changed, [&] { ++notifications; });
    // The boot time cannot be read, then lies ahead of a clock that was set back.
    for (auto [boot, uptime] : {std::pair<std::optional<std::int64_t>, qint64>{4'000, 6'000},
                                {std::nullopt, 6'000},
                                {20'000, 0}}) {
        fake.host->boot = boot;
        monitor.updateLoadAndUptime();
        EXPECT_EQ(monitor.uptimeSeconds(), uptime);
    }
    EXPECT_EQ(notifications, 3); // the same load each time
    EXPECT_EQ(std::pair(monitor.loadAvg5(), monitor.loadAvg15()), std::pair(0.25, 0.125));
}

TEST(SystemMonitor, WiFiFieldsFollowTheInterfaceAndStayWithoutOne) {
    FakePlatform fake;
    SystemMonitor monitor(fake.platform());
    const platform::WiFiLink associated{-61, -92, 866.7, 36};
    const platform::WiFiLink noChannel{-70, -95, 6.5, 0};
    for (auto [link, shown] : {std::pair{std::optional(associated), associated},
                               {std::nullopt, associated},
                               {noChannel, noChannel}}) {
        fake.wifi->link = link;
        monitor.updateWiFi();
        EXPECT_EQ(std::tuple(monitor.wifiRSSI(), monitor.wifiNoise(), monitor.wifiTxRate(),
                             monitor.wifiChannel()),
                  std::tuple(shown.rssi, shown.noise, shown.txRate, shown.channel));
    }
}

TEST(SystemMonitor, TimersDriveTheTickOnTheOwningThread) {
    FakePlatform fake;
    fake.processors->samples = {ProcessorSample{ticks(0, 0, 0, 0)},
                                ProcessorSample{ticks(0, 25, 25, 50)}};
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
