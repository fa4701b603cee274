#include "monitor/SystemMonitor.h"

#include "monitor/ProcessQueue.h"
#include "platform/Platform.h"
#include "sensors/GPUMonitor.h"

#include <QTimer>
#include <algorithm>

namespace orb {

SystemMonitor::SystemMonitor(platform::Platform& platform, QObject* parent)
    : QObject(parent), platform_(platform) {
    // Published fields start at zero, empty or absent unless they say otherwise.
    uploadSpeed_ = QStringLiteral("0 KB/s");
    downloadSpeed_ = QStringLiteral("0 KB/s");
    timeRemaining_ = QStringLiteral("Unknown");
    thermalState_ = QStringLiteral("Nominal");
    const History zeros(historyLength, 0.0);
    for (History* history :
         {&cpuHistory_, &gpuHistory_, &uploadHistory_, &downloadHistory_, &batteryWattsHistory_,
          &adapterWattsHistory_, &diskReadHistory_, &diskWriteHistory_})
        *history = zeros;

    lastCheckTime_ = platform_.clock->now();
    processQueue_ = new ProcessQueue(QString::fromLatin1(processQueueLabel), this);

    numCPUs_ = platform_.processors->processorCount();

    // Seed the throughput counters so the first rates cover only the time since start.
    seedThroughputCounters();

    setCpuBrandString(QString::fromUtf8(platform_.host->brandString()));
    const auto cores = platform_.host->coreCounts();
    setCpuPCoreCount(cores.performance);
    setCpuECoreCount(cores.efficiency);

    updateCPU(); // only stores the first counter sample
    updateMemory();
    updateNetwork();

    startMonitoring();
}

SystemMonitor::~SystemMonitor() = default;

void SystemMonitor::startMonitoring() {
    tickTimer_ = new QTimer(this);
    tickTimer_->setInterval(tickIntervalMs);
    connect(tickTimer_, &QTimer::timeout, this, &SystemMonitor::sampleTick);
    tickTimer_->start();

    processTimer_ = new QTimer(this);
    processTimer_->setInterval(processIntervalMs);
    connect(processTimer_, &QTimer::timeout, this, &SystemMonitor::scheduleProcessUpdate);
    processTimer_->start();

    scheduleProcessUpdate();
    updatePowerSources();
    updateSensors();
    registerPowerSourceNotifications();
    registerBatteryNotifications();
}

void SystemMonitor::setTickInterval(std::chrono::milliseconds interval) {
    const int tickMs = static_cast<int>(std::max<std::int64_t>(interval.count(), 1));
    tickTimer_->setInterval(tickMs);
    processTimer_->setInterval(tickMs * (processIntervalMs / tickIntervalMs));
}

void SystemMonitor::sampleTick() {
    updateCPU();
    updateMemory();
    updateNetwork();
    updateDisk();
    updateLoadAndUptime();
    updateWiFi();
    updatePowerSources();
    updateSensors();
    updateGPU();
    Q_EMIT tickCompleted();
}

void SystemMonitor::pushHistory(HistoryGetter get, HistorySetter set, double value) {
    // Two separate assignments: observers may see the 61-entry list before it is trimmed.
    appendToHistory(get, set, value);
    trimHistory(get, set);
}

void SystemMonitor::appendToHistory(HistoryGetter get, HistorySetter set, double value) {
    History grown = (this->*get)();
    grown.append(value);
    (this->*set)(grown);
}

void SystemMonitor::trimHistory(HistoryGetter get, HistorySetter set) {
    if ((this->*get)().size() > historyLength) {
        History trimmed = (this->*get)();
        trimmed.removeFirst();
        (this->*set)(trimmed);
    }
}

void SystemMonitor::updateGPU() {
    publishGPU(GPUMonitor::readStats(platform_));
}

void SystemMonitor::publishGPU(const GPUStats& stats) {
    setGpuUsage(stats.utilization);
    setGpuRendererUtil(stats.rendererUtil);
    setGpuTilerUtil(stats.tilerUtil);
    setGpuMemoryUsed(stats.memoryUsed);
    setGpuMemoryAllocated(stats.memoryAllocated);
    if (stats.coreCount > 0)
        setGpuCoreCount(stats.coreCount);
    if (!stats.modelName.isEmpty())
        setGpuModelName(stats.modelName);
    setGpuRecoveryCount(stats.recoveryCount);
    pushHistory(&SystemMonitor::gpuHistory, &SystemMonitor::setGpuHistory, gpuUsage());
}

} // namespace orb
