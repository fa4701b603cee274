#include "fakes/FakePlatform.h"
#include "monitor/SystemMonitor.h"
#include "sensors/GPUMonitor.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMetaProperty>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace orb;
using platform::ProcessorSample;

namespace {

// Records the name of every published field of the monitor as it is assigned, and the
// completion of each tick. Like QSignalSpy, it receives the signals in qt_metacall, so it needs
// no generated code.
class ChangeRecorder : public QObject {
public:
    explicit ChangeRecorder(SystemMonitor& monitor) {
        const QMetaObject* meta = monitor.metaObject();
        for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
            const QMetaProperty field = meta->property(i);
            if (QLatin1StringView(field.name()) == QLatin1StringView("measured"))
                continue; // what the machine measures, not a reading
            EXPECT_TRUE(QMetaObject::connect(&monitor, field.notifySignalIndex(), this,
                                             staticMetaObject.methodCount() + int(names_.size())))
                << field.name() << " has no notifier";
            names_.append(QString::fromLatin1(field.name()));
        }
        connect(&monitor, &SystemMonitor::tickCompleted, this, [this] { seen << "tickCompleted"; });
    }
    int qt_metacall(QMetaObject::Call call, int id, void** arguments) override {
        id = QObject::qt_metacall(call, id, arguments);
        if (id >= 0 && call == QMetaObject::InvokeMetaMethod)
            seen << names_.value(id);
        return -1;
    }
    QStringList seen;

private:
    QStringList names_;
};

} // namespace

TEST(SystemMonitor, ATickAssignsEachReadingInOrderThenCompletesOnce) {
    // Every reading there: each field once (a history twice: append, then trim), in order.
    const QStringList full =
        QStringLiteral(
            "cpuUser cpuSystem cpuUsage cpuHistory cpuHistory "
            "memoryUsed memoryWired memoryActive memoryInactive memoryCompressed memoryTotal "
            "memoryPressure swapTotal swapUsed "
            "downloadSpeed uploadSpeed downloadHistory uploadHistory downloadHistory uploadHistory "
            "diskReadBytesPerSec diskWriteBytesPerSec diskReadHistory diskReadHistory "
            "diskWriteHistory diskWriteHistory loadAvg1 loadAvg5 loadAvg15 uptimeSeconds "
            "wifiRSSI wifiNoise wifiTxRate wifiChannel gpuUsage gpuRendererUtil gpuTilerUtil "
            "gpuMemoryUsed gpuMemoryAllocated gpuRecoveryCount gpuPowerWatts gpuHistory gpuHistory "
            "tickCompleted")
            .split(' ');
    QStringList nothingRead = full.mid(full.indexOf("diskReadHistory"));
    for (const char* kept : {"uptimeSeconds", "wifiRSSI", "wifiNoise", "wifiTxRate", "wifiChannel"})
        nothingRead.removeOne(kept);

    orb::testing::FakePlatform fake;
    fake.processors->samples = {ProcessorSample{{0, 100, 100, 100}},
                                ProcessorSample{{0, 130, 110, 160}}};
    fake.memory->counts = platform::PageCounts{1000, 500, 200, 100};
    fake.memory->swap = platform::SwapUsage{1024, 512};
    fake.network->links = std::vector{platform::NetworkInterface{"en0", {}, {{0, 0}}}};
    fake.registry->services["IOBlockStorageDriver"] = {platform::PropertyTable{
        {"Statistics", platform::PropertyTable{{"Bytes (Read)", 1}, {"Bytes (Write)", 1}}}}};
    fake.host->uptime = 99.9;
    fake.wifi->link = platform::WiFiLink{-61, -92, 866.7, 36};
    SystemMonitor monitor(fake.platform());
    EXPECT_EQ(monitor.cpuHistory(), History(60, 0.0));
    ChangeRecorder recorder(monitor);
    fake.clock->advance(2);
    fake.network->links->front().statistics = platform::LinkStatistics{2048, 0};
    monitor.sampleTick();
    EXPECT_EQ(recorder.seen, full);
    // The readers say what the machine measures: no graphics processor and no battery here.
    using SM = SystemMonitor;
    auto measured = [&](std::initializer_list<SM::Reading> readings) {
        QList<bool> found;
        for (const auto reading : readings)
            found << monitor.isMeasured(reading);
        return found;
    };
    const std::initializer_list<SM::Reading> some = {
        &SM::cpuUsageChanged,      &SM::memoryUsedChanged, &SM::wifiRSSIChanged,
        &SM::uptimeSecondsChanged, &SM::gpuUsageChanged,   &SM::batteryLevelChanged};
    EXPECT_EQ(measured(some), QList<bool>({true, true, true, true, false, false}));

    // Nothing can be read: the readings' fields keep their values; the disk histories, the load
    // averages and the graphics record are assigned on every tick.
    fake.processors->samples = {std::nullopt};
    fake.memory->counts.reset();
    fake.registry->matchFails = true;
    fake.host->uptime.reset();
    fake.wifi->link.reset();
    monitor.sampleTick(); // the disk sums went to 0: this tick still has rates of 0
    recorder.seen.clear();
    monitor.sampleTick();
    EXPECT_EQ(recorder.seen, nothingRead);
    // What was read keeps its value; a link and an uptime that are gone are no longer measured.
    EXPECT_EQ(measured(some), QList<bool>({true, true, false, false, false, false}));
    EXPECT_EQ(monitor.uptimeSeconds(), 99);
    EXPECT_EQ(monitor.wifiRSSI(), -61);
    EXPECT_EQ(monitor.swapUsed(), 512);

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
    ChangeRecorder recorder(monitor);
    monitor.setTickInterval(std::chrono::milliseconds(10));
    int ticks = 0;
    QObject::connect(&monitor, &SystemMonitor::tickCompleted, [&] { ++ticks; });
    for (QDeadlineTimer deadline(5000); ticks < 2 && !deadline.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    EXPECT_EQ(ticks, 2);

    // The walk at start publishes on the main thread, the lists first, then the count.
    const QStringList published{"topMemoryProcesses", "topCPUProcesses", "topEnergyProcesses",
                                "processCount"};
    EXPECT_EQ(recorder.seen
                  .filter(QRegularExpression("process", QRegularExpression::CaseInsensitiveOption))
                  .mid(0, 4),
              published);
    ASSERT_EQ(monitor.topMemoryProcesses().size(), 1);
    EXPECT_EQ(monitor.topMemoryProcesses()[0].name, "editor");
    EXPECT_EQ(monitor.topEnergyProcesses(), monitor.topCPUProcesses());
    EXPECT_EQ(monitor.processCount(), 2);
}
