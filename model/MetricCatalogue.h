#pragma once

#include <QList>
#include <QString>
#include <QStringView>
#include <optional>

namespace orb {

// What a ring of the tray icon can show. The order is the order of the settings picker.
enum class RingMetric {
    none,
    cpuTotal,
    cpuUser,
    cpuSystem,
    cpuTemp,
    gpuDevice,
    gpuRenderer,
    gpuTiler,
    gpuTemp,
    memoryPressure,
    memoryUsed,
    batteryLevel,
    batteryHealth,
    netSystemLoad,
    fan0,
    fan1,
    swapUsed,
    diskRead,
    diskWrite,
};

// What the number of the tray icon can show. The order is the order of the settings picker.
enum class NumberMetric {
    none,
    cpuTotal,
    cpuUser,
    cpuSystem,
    cpuTemp,
    gpuDevice,
    gpuRenderer,
    gpuTiler,
    gpuTemp,
    gpuMemoryUsed,
    gpuMemoryAlloc,
    gpuRecovery,
    memoryPressure,
    memoryUsedPct,
    memoryUsedBytes,
    memoryFree,
    downloadSpeed,
    uploadSpeed,
    fan0RPM,
    fan1RPM,
    allFansRPM,
    batteryLevel,
    batteryHealth,
    batteryCondition,
    batteryDraw,
    batteryCharge,
    acInputWatts,
    totalSystemDraw,
    netSystemLoad,
    adapterWatts,
    adapterVoltage,
    adapterCurrent,
    systemInputVoltage,
    systemInputCurrent,
    batteryVoltage,
    batteryCurrent,
    batteryTemp,
    batteryCycles,
    batteryMaxCapacity,
    batteryDesignCap,
    timeRemaining,
    timeToFull,
    diskRead,
    diskWrite,
    memoryWired,
    memoryActive,
    memoryInactive,
    memoryCompressed,
    swapUsed,
    swapTotal,
    loadAvg1,
    loadAvg5,
    loadAvg15,
    uptime,
    processCount,
    wifiRSSI,
    wifiTxRate,
    wifiNoise,
    wifiChannel,
    cpuModel,
    cpuPCores,
    cpuECores,
    thermalState,
};

// The raw value is both the name shown in the settings and the form the choice is stored in.
QString rawValue(RingMetric metric);
QString rawValue(NumberMetric metric);

// Exact, case-sensitive match on the raw value; anything else is no metric.
std::optional<RingMetric> ringMetricFromRawValue(QStringView raw);
std::optional<NumberMetric> numberMetricFromRawValue(QStringView raw);

// Every case in declaration order, `none` first.
const QList<RingMetric>& allRingMetrics();
const QList<NumberMetric>& allNumberMetrics();

// The symbol drawn in front of the number; empty for `none`.
QString iconName(NumberMetric metric);

} // namespace orb
