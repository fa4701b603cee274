#include "model/Readout.h"

#include "monitor/SystemMonitor.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace orb {

namespace {

constexpr double gibi = 1073741824.0;        // bytes per second that fill a disk ring
constexpr double hottestTemperature = 120.0; // degrees that fill a temperature ring
constexpr double fastestFan = 6000.0;        // rpm that fill a fan ring
constexpr double defaultLoadWatts = 100.0;   // system-load scale without a rated adapter
constexpr double smallestWatts = 0.05;       // below this a battery flow reads as none

constexpr QStringView degreeSign = u"\u00B0";

// Only clamps from above; a NaN passes through as it is.
double atMostOne(double value) {
    return value > 1.0 ? 1.0 : value;
}

QString integer(qint64 value, QStringView suffix = {}) {
    return QString::number(value).append(suffix);
}

QString orPlaceholder(bool present, const QString& text) {
    return present ? text : placeholder();
}

QString rate(double bytesPerSecond) {
    const QString bytes = formatBytes(bytesPerSecond);
    return bytes == placeholder() ? bytes : bytes + QStringLiteral("/s");
}

QString joinedSpeeds(const QList<int>& speeds) {
    QString text;
    for (qsizetype i = 0; i < speeds.size(); ++i) {
        if (i > 0)
            text += u'/';
        text += QString::number(speeds[i]);
    }
    return text;
}

// The reading a number shows; null for `none`.
SystemMonitor::Reading numberSource(NumberMetric metric) {
    using SM = SystemMonitor;
    // In the metrics' order; none has no reading.
    static constexpr SM::Reading sources[] = {
        nullptr,
        &SM::cpuUsageChanged,
        &SM::cpuUserChanged,
        &SM::cpuSystemChanged,
        &SM::cpuTemperatureChanged,
        &SM::gpuUsageChanged,
        &SM::gpuRendererUtilChanged,
        &SM::gpuTilerUtilChanged,
        &SM::gpuTemperatureChanged,
        &SM::gpuMemoryUsedChanged,
        &SM::gpuMemoryAllocatedChanged,
        &SM::gpuRecoveryCountChanged,
        &SM::memoryPressureChanged,
        &SM::memoryUsedChanged,
        &SM::memoryUsedChanged,
        &SM::memoryUsedChanged,
        &SM::downloadSpeedChanged,
        &SM::uploadSpeedChanged,
        &SM::fan0SpeedChanged,
        &SM::fan1SpeedChanged,
        &SM::fanSpeedsChanged,
        &SM::batteryLevelChanged,
        &SM::batteryHealthPercentChanged,
        &SM::batteryHealthConditionChanged,
        &SM::batteryDrawWattsChanged,
        &SM::batteryChargeWattsChanged,
        &SM::acInputWattsChanged,
        &SM::totalSystemWattsChanged,
        &SM::netSystemWattsChanged,
        &SM::adapterWattsChanged,
        &SM::adapterVoltageChanged,
        &SM::adapterCurrentChanged,
        &SM::systemInputVoltageChanged,
        &SM::systemInputCurrentChanged,
        &SM::batteryVoltageChanged,
        &SM::batteryCurrentChanged,
        &SM::batteryTemperatureChanged,
        &SM::batteryCycleCountChanged,
        &SM::batteryMaxCapacityChanged,
        &SM::batteryDesignCapacityChanged,
        &SM::timeRemainingChanged,
        &SM::batteryTimeToFullChanged,
        &SM::diskReadBytesPerSecChanged,
        &SM::diskWriteBytesPerSecChanged,
        &SM::memoryWiredChanged,
        &SM::memoryActiveChanged,
        &SM::memoryInactiveChanged,
        &SM::memoryCompressedChanged,
        &SM::swapUsedChanged,
        &SM::swapTotalChanged,
        &SM::loadAvg1Changed,
        &SM::loadAvg5Changed,
        &SM::loadAvg15Changed,
        &SM::uptimeSecondsChanged,
        &SM::processCountChanged,
        &SM::wifiRSSIChanged,
        &SM::wifiTxRateChanged,
        &SM::wifiNoiseChanged,
        &SM::wifiChannelChanged,
        &SM::cpuBrandStringChanged,
        &SM::cpuPCoreCountChanged,
        &SM::cpuECoreCountChanged,
        &SM::thermalStateChanged,
    };
    static_assert(std::size(sources) == static_cast<std::size_t>(NumberMetric::thermalState) + 1);
    const auto index = static_cast<std::size_t>(metric);
    return index < std::size(sources) ? sources[index] : nullptr;
}

} // namespace

QString gpuPowerText(const SystemMonitor& m) {
    return m.gpuPowerWatts() > 0 ? fixedDecimals(m.gpuPowerWatts(), 1, u" W")
                                 : QStringLiteral("N/A");
}

QString wholePercent(double fraction) {
    const double scaled = fraction * 100.0;
    // 2^63 bounds what a 64-bit integer holds; the comparisons are false for NaN.
    constexpr double int64Limit = 9223372036854775808.0;
    if (!(scaled >= -int64Limit && scaled < int64Limit))
        return placeholder();
    return QString::number(static_cast<qint64>(scaled)) + u'%';
}

double ringFraction(const SystemMonitor& m, RingMetric metric) {
    switch (metric) {
    case RingMetric::none:
        return 0.0;
    case RingMetric::cpuTotal:
        return m.cpuUsage();
    case RingMetric::cpuUser:
        return m.cpuUser();
    case RingMetric::cpuSystem:
        return m.cpuSystem();
    case RingMetric::cpuTemp:
        return atMostOne(m.cpuTemperature() / hottestTemperature);
    case RingMetric::gpuDevice:
        return m.gpuUsage();
    case RingMetric::gpuRenderer:
        return m.gpuRendererUtil();
    case RingMetric::gpuTiler:
        return m.gpuTilerUtil();
    case RingMetric::gpuTemp:
        return atMostOne(m.gpuTemperature() / hottestTemperature);
    case RingMetric::memoryPressure:
        return m.memoryPressure();
    case RingMetric::memoryUsed:
        return m.memoryTotal() > 0 ? m.memoryUsed() / m.memoryTotal() : 0.0;
    case RingMetric::batteryLevel:
        return m.batteryLevel();
    case RingMetric::batteryHealth:
        return m.batteryHealthPercent();
    case RingMetric::netSystemLoad: {
        const double scale = m.adapterWatts() >= 1 ? m.adapterWatts() : defaultLoadWatts;
        return atMostOne(m.netSystemWatts() / scale);
    }
    case RingMetric::fan0:
        return m.fan0Speed() >= 1 ? atMostOne(m.fan0Speed() / fastestFan) : 0.0;
    case RingMetric::fan1:
        return m.fan1Speed() >= 1 ? atMostOne(m.fan1Speed() / fastestFan) : 0.0;
    case RingMetric::swapUsed:
        return m.swapTotal() > 0 ? atMostOne(m.swapUsed() / m.swapTotal()) : 0.0;
    case RingMetric::diskRead:
        return atMostOne(m.diskReadBytesPerSec() / gibi);
    case RingMetric::diskWrite:
        return atMostOne(m.diskWriteBytesPerSec() / gibi);
    }
    return 0.0;
}

QString numberText(const SystemMonitor& m, NumberMetric metric) {
    // A figure this machine does not give has no number, whatever its field holds.
    if (const auto source = numberSource(metric); source && !m.isMeasured(source))
        return placeholder();
    switch (metric) {
    case NumberMetric::none:
        return QString();
    case NumberMetric::cpuTotal:
        return wholePercent(m.cpuUsage());
    case NumberMetric::cpuUser:
        return wholePercent(m.cpuUser());
    case NumberMetric::cpuSystem:
        return wholePercent(m.cpuSystem());
    case NumberMetric::cpuTemp:
        return orPlaceholder(m.cpuTemperature() > 0,
                             fixedDecimals(m.cpuTemperature(), 0, degreeSign));
    case NumberMetric::gpuDevice:
        return wholePercent(m.gpuUsage());
    case NumberMetric::gpuRenderer:
        return wholePercent(m.gpuRendererUtil());
    case NumberMetric::gpuTiler:
        return wholePercent(m.gpuTilerUtil());
    case NumberMetric::gpuTemp:
        return orPlaceholder(m.gpuTemperature() > 0,
                             fixedDecimals(m.gpuTemperature(), 0, degreeSign));
    case NumberMetric::gpuMemoryUsed:
        return orPlaceholder(m.gpuMemoryUsed() > 0, formatBytes(double(m.gpuMemoryUsed())));
    case NumberMetric::gpuMemoryAlloc:
        return orPlaceholder(m.gpuMemoryAllocated() > 0,
                             formatBytes(double(m.gpuMemoryAllocated())));
    case NumberMetric::gpuRecovery:
        return integer(m.gpuRecoveryCount());
    case NumberMetric::memoryPressure:
        return wholePercent(m.memoryPressure());
    case NumberMetric::memoryUsedPct:
        return orPlaceholder(m.memoryTotal() > 0, wholePercent(m.memoryUsed() / m.memoryTotal()));
    case NumberMetric::memoryUsedBytes:
        return formatBytes(m.memoryUsed());
    case NumberMetric::memoryFree:
        return orPlaceholder(m.memoryTotal() > 0, formatBytes(m.memoryTotal() - m.memoryUsed()));
    case NumberMetric::downloadSpeed:
        return m.downloadSpeed();
    case NumberMetric::uploadSpeed:
        return m.uploadSpeed();
    case NumberMetric::fan0RPM:
        return orPlaceholder(m.fan0Speed() >= 1, integer(m.fan0Speed()));
    case NumberMetric::fan1RPM:
        return orPlaceholder(m.fan1Speed() >= 1, integer(m.fan1Speed()));
    case NumberMetric::allFansRPM:
        return orPlaceholder(!m.fanSpeeds().isEmpty(), joinedSpeeds(m.fanSpeeds()));
    case NumberMetric::batteryLevel:
        return wholePercent(m.batteryLevel());
    case NumberMetric::batteryHealth:
        return orPlaceholder(m.batteryHealthPercent() > 0,
                             fixedDecimals(m.batteryHealthPercent() * 100.0, 0, u"%"));
    case NumberMetric::batteryCondition:
        return orPlaceholder(!m.batteryHealthCondition().isEmpty(), m.batteryHealthCondition());
    case NumberMetric::batteryDraw:
        return m.batteryDrawWatts() > smallestWatts ? fixedDecimals(m.batteryDrawWatts(), 1, u"W")
                                                    : QStringLiteral("0W");
    case NumberMetric::batteryCharge:
        return m.batteryChargeWatts() > smallestWatts
                   ? fixedDecimals(m.batteryChargeWatts(), 1, u"W")
                   : QStringLiteral("0W");
    case NumberMetric::acInputWatts:
        return orPlaceholder(m.acInputWatts() > 0, fixedDecimals(m.acInputWatts(), 1, u"W"));
    case NumberMetric::totalSystemDraw:
        return fixedDecimals(m.totalSystemWatts(), 1, u"W");
    case NumberMetric::netSystemLoad:
        return fixedDecimals(m.netSystemWatts(), 1, u"W");
    case NumberMetric::adapterWatts:
        return orPlaceholder(m.adapterWatts() >= 1, integer(m.adapterWatts(), u"W"));
    case NumberMetric::adapterVoltage:
        return orPlaceholder(m.adapterVoltage() > 0, fixedDecimals(m.adapterVoltage(), 0, u"V"));
    case NumberMetric::adapterCurrent:
        return orPlaceholder(m.adapterCurrent() >= 1, integer(m.adapterCurrent(), u"mA"));
    case NumberMetric::systemInputVoltage:
        return orPlaceholder(m.systemInputVoltage() > 0,
                             fixedDecimals(m.systemInputVoltage(), 2, u"V"));
    case NumberMetric::systemInputCurrent:
        return orPlaceholder(m.systemInputCurrent() > 0,
                             fixedDecimals(m.systemInputCurrent(), 0, u"mA"));
    case NumberMetric::batteryVoltage:
        return orPlaceholder(m.batteryVoltage() > 0, fixedDecimals(m.batteryVoltage(), 2, u"V"));
    case NumberMetric::batteryCurrent:
        // Negative while discharging; the sign is kept.
        return orPlaceholder(m.batteryCurrent() != 0, fixedDecimals(m.batteryCurrent(), 0, u"mA"));
    case NumberMetric::batteryTemp:
        return orPlaceholder(m.batteryTemperature() > 0,
                             fixedDecimals(m.batteryTemperature(), 0, degreeSign));
    case NumberMetric::batteryCycles:
        return orPlaceholder(m.batteryCycleCount() >= 1, integer(m.batteryCycleCount()));
    case NumberMetric::batteryMaxCapacity:
        return orPlaceholder(m.batteryMaxCapacity() >= 1, integer(m.batteryMaxCapacity(), u"mAh"));
    case NumberMetric::batteryDesignCap:
        return orPlaceholder(m.batteryDesignCapacity() >= 1,
                             integer(m.batteryDesignCapacity(), u"mAh"));
    case NumberMetric::timeRemaining:
        // An empty text stays empty, so the icon drops its number.
        return QString(m.timeRemaining()).remove(QStringLiteral(" Remaining"));
    case NumberMetric::timeToFull:
        return orPlaceholder(!m.batteryTimeToFull().isEmpty(),
                             QString(m.batteryTimeToFull()).remove(QStringLiteral(" to full")));
    case NumberMetric::diskRead:
        return rate(m.diskReadBytesPerSec());
    case NumberMetric::diskWrite:
        return rate(m.diskWriteBytesPerSec());
    case NumberMetric::memoryWired:
        return formatBytes(m.memoryWired());
    case NumberMetric::memoryActive:
        return formatBytes(m.memoryActive());
    case NumberMetric::memoryInactive:
        return formatBytes(m.memoryInactive());
    case NumberMetric::memoryCompressed:
        return formatBytes(m.memoryCompressed());
    case NumberMetric::swapUsed:
        return formatBytes(m.swapUsed());
    case NumberMetric::swapTotal:
        return formatBytes(m.swapTotal());
    case NumberMetric::loadAvg1:
        return fixedDecimals(m.loadAvg1(), 2);
    case NumberMetric::loadAvg5:
        return fixedDecimals(m.loadAvg5(), 2);
    case NumberMetric::loadAvg15:
        return fixedDecimals(m.loadAvg15(), 2);
    case NumberMetric::uptime:
        return formatUptime(m.uptimeSeconds());
    case NumberMetric::processCount:
        return orPlaceholder(m.processCount() >= 1, integer(m.processCount()));
    case NumberMetric::wifiRSSI:
        return orPlaceholder(m.wifiRSSI() != 0, integer(m.wifiRSSI(), u" dBm"));
    case NumberMetric::wifiTxRate:
        return orPlaceholder(m.wifiTxRate() > 0, fixedDecimals(m.wifiTxRate(), 0, u" Mbps"));
    case NumberMetric::wifiNoise:
        return orPlaceholder(m.wifiNoise() != 0, integer(m.wifiNoise(), u" dBm"));
    case NumberMetric::wifiChannel:
        return orPlaceholder(m.wifiChannel() >= 1,
                             QStringLiteral("Ch ") + integer(m.wifiChannel()));
    case NumberMetric::cpuModel:
        return orPlaceholder(!m.cpuBrandString().isEmpty(), m.cpuBrandString());
    case NumberMetric::cpuPCores:
        return orPlaceholder(m.cpuPCoreCount() >= 1, integer(m.cpuPCoreCount()));
    case NumberMetric::cpuECores:
        return orPlaceholder(m.cpuECoreCount() >= 1, integer(m.cpuECoreCount()));
    case NumberMetric::thermalState:
        return m.thermalState();
    }
    return QString();
}

QString formatUptime(qint64 seconds) {
    if (seconds < 1)
        return placeholder();
    const qint64 days = seconds / 86400;
    const qint64 hours = (seconds % 86400) / 3600;
    const qint64 minutes = (seconds % 3600) / 60;
    if (seconds >= 86400)
        return QStringLiteral("%1d %2h").arg(days).arg(hours);
    if (seconds % 86400 < 3600)
        return QStringLiteral("%1m").arg(minutes);
    return QStringLiteral("%1h %2m").arg(hours).arg(minutes);
}

} // namespace orb
