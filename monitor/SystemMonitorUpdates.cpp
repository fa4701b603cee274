// The update steps of the tick: each takes one reading and assigns it to the published fields,
// one announced assignment at a time, in a fixed order.
#include "monitor/ProcessQueue.h"
#include "monitor/SystemMonitor.h"
#include "monitor/TextFormat.h"
#include "sensors/GPUMonitor.h"

namespace orb {

void SystemMonitor::updateCPU() {
    if (auto shares = cpu_.read()) {
        setCpuUser(shares->user);
        setCpuSystem(shares->system);
        setCpuUsage(cpuUser() + cpuSystem());
        pushHistory(&SystemMonitor::cpuHistory, &SystemMonitor::setCpuHistory, cpuUsage());
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
    if (reading->swap) {
        setSwapTotal(static_cast<double>(reading->swap->total));
        setSwapUsed(static_cast<double>(reading->swap->used));
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
}

void SystemMonitor::updateDisk() {
    if (const auto rates = disk_.read()) {
        setDiskReadBytesPerSec(rates->read);
        setDiskWriteBytesPerSec(rates->written);
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
    if (reading.uptimeSeconds)
        setUptimeSeconds(*reading.uptimeSeconds);
}

void SystemMonitor::updateWiFi() {
    const auto link = wifi_.read();
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
}

} // namespace orb
