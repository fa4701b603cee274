// The update steps of the tick: each takes one reading and assigns it to the published fields,
// one announced assignment at a time, in a fixed order.
#include "monitor/ProcessQueue.h"
#include "monitor/SystemMonitor.h"
#include "monitor/TextFormat.h"
#include "sensors/GPUMonitor.h"

namespace orb {

using SM = SystemMonitor;

void SystemMonitor::updateCPU() {
    if (auto shares = cpu_.read()) {
        setCpuUser(shares->user);
        setCpuSystem(shares->system);
        setCpuUsage(cpuUser() + cpuSystem());
        pushHistory(&SystemMonitor::cpuHistory, &SystemMonitor::setCpuHistory, cpuUsage());
        setMeasured({&SM::cpuUserChanged, &SM::cpuSystemChanged, &SM::cpuUsageChanged,
                     &SM::cpuHistoryChanged},
                    true);
    }
}

void SystemMonitor::updateMemory() {
    const auto reading = memory_.read();
    if (!reading)
        return;
    setMemoryUsed(reading->used);
    setMemoryWired(reading->wired);
    setMemoryActive(reading->active);
    setMemoryInactive(reading->inactive);
    setMemoryCompressed(reading->compressed);
    setMemoryTotal(reading->total);
    setMemoryPressure(reading->pressure);
    setMeasured({&SM::memoryUsedChanged, &SM::memoryWiredChanged, &SM::memoryActiveChanged,
                 &SM::memoryInactiveChanged, &SM::memoryCompressedChanged, &SM::memoryTotalChanged,
                 &SM::memoryPressureChanged},
                true);
    if (reading->swap) {
        setSwapTotal(static_cast<double>(reading->swap->total));
        setSwapUsed(static_cast<double>(reading->swap->used));
        setMeasured({&SM::swapTotalChanged, &SM::swapUsedChanged}, true);
    }
}

void SystemMonitor::updateNetwork() {
    const auto rates = network_.read();
    if (!rates)
        return;
    setDownloadSpeed(formatBytes(rates->received) + QStringLiteral("/s"));
    setUploadSpeed(formatBytes(rates->sent) + QStringLiteral("/s"));
    // Both lists grow before either is trimmed, so the pair never differs in length by more than
    // the sample being added.
    appendToHistory(&SystemMonitor::downloadHistory, &SystemMonitor::setDownloadHistory,
                    rates->received);
    appendToHistory(&SystemMonitor::uploadHistory, &SystemMonitor::setUploadHistory, rates->sent);
    trimHistory(&SystemMonitor::downloadHistory, &SystemMonitor::setDownloadHistory);
    trimHistory(&SystemMonitor::uploadHistory, &SystemMonitor::setUploadHistory);
    setMeasured({&SM::downloadSpeedChanged, &SM::uploadSpeedChanged, &SM::downloadHistoryChanged,
                 &SM::uploadHistoryChanged},
                true);
}

void SystemMonitor::updateDisk() {
    if (const auto rates = disk_.read()) {
        setDiskReadBytesPerSec(rates->read);
        setDiskWriteBytesPerSec(rates->written);
        setMeasured({&SM::diskReadBytesPerSecChanged, &SM::diskWriteBytesPerSecChanged,
                     &SM::diskReadHistoryChanged, &SM::diskWriteHistoryChanged},
                    true);
    }
    // Sampled on every tick, also when the rates kept their values.
    pushHistory(&SystemMonitor::diskReadHistory, &SystemMonitor::setDiskReadHistory,
                diskReadBytesPerSec());
    pushHistory(&SystemMonitor::diskWriteHistory, &SystemMonitor::setDiskWriteHistory,
                diskWriteBytesPerSec());
}

void SystemMonitor::updateLoadAndUptime() {
    const auto reading = loadAndUptime_.read();
    setLoadAvg1(reading.load[0]);
    setLoadAvg5(reading.load[1]);
    setLoadAvg15(reading.load[2]);
    setMeasured({&SM::loadAvg1Changed, &SM::loadAvg5Changed, &SM::loadAvg15Changed}, true);
    if (reading.uptimeSeconds)
        setUptimeSeconds(*reading.uptimeSeconds);
    setMeasured({&SM::uptimeSecondsChanged}, reading.uptimeSeconds.has_value());
}

void SystemMonitor::updateWiFi() {
    const auto link = wifi_.read();
    // A driver that describes its link in part leaves the rest at 0, which no real link reads
    // (0 dBm would be a milliwatt received); without a link the last figures no longer hold.
    setMeasured({&SM::wifiRSSIChanged}, link && link->rssi != 0);
    setMeasured({&SM::wifiNoiseChanged}, link && link->noise != 0);
    setMeasured({&SM::wifiTxRateChanged}, link && link->txRate > 0);
    setMeasured({&SM::wifiChannelChanged}, link && link->channel > 0);
    if (!link)
        return;
    setWifiRSSI(link->rssi);
    setWifiNoise(link->noise);
    setWifiTxRate(link->txRate);
    setWifiChannel(link->channel);
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
    setGpuPowerWatts(stats.powerWatts);
    pushHistory(&SystemMonitor::gpuHistory, &SystemMonitor::setGpuHistory, gpuUsage());
    const auto& given = stats.given;
    setMeasured({&SM::gpuUsageChanged, &SM::gpuHistoryChanged}, given.utilization);
    setMeasured({&SM::gpuRendererUtilChanged}, given.rendererUtil);
    setMeasured({&SM::gpuTilerUtilChanged}, given.tilerUtil);
    setMeasured({&SM::gpuMemoryUsedChanged}, given.memoryUsed);
    setMeasured({&SM::gpuMemoryAllocatedChanged}, given.memoryAllocated);
    setMeasured({&SM::gpuRecoveryCountChanged}, given.recoveryCount);
    setMeasured({&SM::gpuPowerWattsChanged}, given.powerWatts);
    // Kept from the first accelerator that gave them, as the fields are.
    if (stats.coreCount > 0)
        setMeasured({&SM::gpuCoreCountChanged}, true);
    if (!stats.modelName.isEmpty())
        setMeasured({&SM::gpuModelNameChanged}, true);
}

void SystemMonitor::scheduleProcessUpdate() {
    // Returns at once; the result comes back through publishProcesses on a later turn of this
    // thread's event loop.
    processQueue_->scheduleWalk();
}

void SystemMonitor::publishProcesses(const ProcessSnapshot& snapshot) {
    setTopMemoryProcesses(snapshot.byMemory);
    setTopCPUProcesses(snapshot.byCpu);
    setTopEnergyProcesses(snapshot.byCpu);
    setProcessCount(snapshot.processCount);
    trackedProcessCount_ = snapshot.trackedCount;
    setMeasured({&SM::topMemoryProcessesChanged, &SM::topCPUProcessesChanged,
                 &SM::topEnergyProcessesChanged},
                true);
    // A walk that could not list the table counts none; a running system has this process.
    setMeasured({&SM::processCountChanged}, snapshot.processCount > 0);
}

} // namespace orb
