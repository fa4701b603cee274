#include "fakes/FakePlatform.h"
#include "monitor/SystemMonitor.h"
#include "sensors/GPUMonitor.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <gtest/gtest.h>

using namespace orb;
using platform::ProcessorSample;

TEST(SystemMonitor, ATickPublishesItsReadingsBeforeItCompletesAndAFailedReadKeepsTheLast) {
    orb::testing::FakePlatform fake;
    fake.processors->samples = {ProcessorSample{{0, 100, 100, 100}},
                                ProcessorSample{{0, 130, 110, 160}}};
    fake.memory->bytesPerPage = 4096;
    fake.memory->counts = platform::PageCounts{1000, 500, 200, 100};
    fake.memory->swap = platform::SwapUsage{1024, 512};
    fake.network->links = std::vector{platform::NetworkInterface{"en0", {}, {{0, 0}}}};
    fake.registry->services["IOBlockStorageDriver"] = {platform::PropertyTable{
        {"Statistics", platform::PropertyTable{{"Bytes (Read)", 1}, {"Bytes (Write)", 1}}}}};
    fake.host->uptime = 99.9;
    fake.wifi->link = platform::WiFiLink{-61, -92, 866.7, 36};
    SystemMonitor monitor(fake.platform());
    EXPECT_EQ(monitor.cpuHistory(), History(60, 0.0));
    // What an observer of the tick's end sees: every reading of that tick already assigned.
    int completed = 0;
    std::tuple<double, double, QString, qint64, int> atCompletion;
    QObject::connect(&monitor, &SystemMonitor::tickCompleted, [&] {
        ++completed;
        atCompletion = {monitor.cpuUsage(), monitor.memoryUsed(), monitor.downloadSpeed(),
                        monitor.uptimeSeconds(), monitor.wifiRSSI()};
    });
    fake.clock->advance(2);
    fake.network->links->front().statistics = platform::LinkStatistics{2048, 0};
    monitor.sampleTick();
    EXPECT_EQ(completed, 1);
    EXPECT_EQ(atCompletion, std::tuple(0.4, 1300 * 4096.0, QString("1.0 KB/s"), qint64(99), -61));
    EXPECT_EQ(monitor.cpuHistory().last(), 0.4);
    // The readers say what the machine measures: no graphics processor and no battery here.
    using SM = SystemMonitor;
    const SM::Reading some[] = {&SM::cpuUsageChanged, &SM::memoryUsedChanged,
                                &SM::wifiRSSIChanged, &SM::uptimeSecondsChanged,
                                &SM::gpuUsageChanged, &SM::batteryLevelChanged};
    const auto measured = [&] {
        QList<bool> found;
        for (const auto reading : some)
            found << monitor.isMeasured(reading);
        return found;
    };
    EXPECT_EQ(measured(), QList<bool>({true, true, true, true, false, false}));

    // Nothing can be read: what was read keeps its value; a link and an uptime that are gone
    // are no longer measured.
    fake.processors->samples = {std::nullopt};
    fake.memory->counts.reset();
    fake.registry->matchFails = true;
    fake.host->uptime.reset();
    fake.wifi->link.reset();
    monitor.sampleTick();
    monitor.sampleTick();
    EXPECT_EQ(completed, 3);
    EXPECT_EQ(measured(), QList<bool>({true, true, false, false, false, false}));
    EXPECT_EQ(std::tuple(monitor.cpuUsage(), monitor.memoryUsed(), monitor.uptimeSeconds(),
                         monitor.wifiRSSI(), monitor.swapUsed()),
              std::tuple(0.4, 1300 * 4096.0, qint64(99), -61, 512.0));

    // A graphics record without model or cores leaves the earlier ones; histories stay at 60,
    // and so does the memory behind them however long the program runs.
    monitor.publishGPU({.utilization = 0.5, .coreCount = 10, .modelName = "Radeon RX 580"});
    for (int i = 0; i < 500; ++i)
        monitor.sampleTick();
    EXPECT_LE(monitor.gpuHistory().capacity(), 61);
    EXPECT_EQ(std::pair(monitor.gpuCoreCount(), monitor.gpuModelName()),
              std::pair(10, QString("Radeon RX 580")));
    EXPECT_EQ(std::pair(monitor.diskReadHistory().size(), monitor.gpuHistory().size()),
              std::pair(qsizetype(60), qsizetype(60)));
}

TEST(SystemMonitor, ItsTimersDriveTheTickAndTheProcessWalk) {
    orb::testing::FakePlatform fake;
    fake.processes->listed = {1, 2};
    fake.processes->processes[1] = {"/usr/bin/editor", "editor", 1, 0, 1 << 20};
    SystemMonitor monitor(fake.platform());
    monitor.setTickInterval(std::chrono::milliseconds(10));
    int ticks = 0;
    QObject::connect(&monitor, &SystemMonitor::tickCompleted, [&] { ++ticks; });
    // The walk publishes on the main thread, the lists before the count that announces them.
    qsizetype listedWhenCounted = -1;
    QObject::connect(&monitor, &SystemMonitor::processCountChanged,
                     [&] { listedWhenCounted = monitor.topCPUProcesses().size(); });
    for (QDeadlineTimer deadline(5000);
         (ticks < 2 || listedWhenCounted < 0) && !deadline.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    EXPECT_GE(ticks, 2);
    EXPECT_EQ(listedWhenCounted, 1);
    ASSERT_EQ(monitor.topMemoryProcesses().size(), 1);
    EXPECT_EQ(monitor.topMemoryProcesses()[0].name, "editor");
    EXPECT_EQ(monitor.topEnergyProcesses(), monitor.topCPUProcesses());
    EXPECT_EQ(monitor.processCount(), 2);
}
