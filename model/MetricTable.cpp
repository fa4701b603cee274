#include "model/MetricTable.h"

#include "model/Readout.h"
#include "monitor/TextFormat.h"

#include <array>
#include <cstddef>

namespace orb {

namespace {

using SM = SystemMonitor;

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

double temperatureShare(double degrees) {
    return atMostOne(degrees / hottestTemperature);
}

double fanShare(int rpm) {
    return rpm >= 1 ? atMostOne(rpm / fastestFan) : 0.0;
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

constexpr std::array ringRows{
    RingMetricRow{RingMetric::none, "None", [](const SM&) { return 0.0; }},
    RingMetricRow{RingMetric::cpuTotal, "CPU Total", [](const SM& m) { return m.cpuUsage(); }},
    RingMetricRow{RingMetric::cpuUser, "CPU User", [](const SM& m) { return m.cpuUser(); }},
    RingMetricRow{RingMetric::cpuSystem, "CPU System", [](const SM& m) { return m.cpuSystem(); }},
    RingMetricRow{RingMetric::cpuTemp, "CPU Temp",
                  [](const SM& m) { return temperatureShare(m.cpuTemperature()); }},
    RingMetricRow{RingMetric::gpuDevice, "GPU", [](const SM& m) { return m.gpuUsage(); }},
    RingMetricRow{RingMetric::gpuRenderer, "GPU Renderer",
                  [](const SM& m) { return m.gpuRendererUtil(); }},
    RingMetricRow{RingMetric::gpuTiler, "GPU Tiler", [](const SM& m) { return m.gpuTilerUtil(); }},
    RingMetricRow{RingMetric::gpuTemp, "GPU Temp",
                  [](const SM& m) { return temperatureShare(m.gpuTemperature()); }},
    RingMetricRow{RingMetric::memoryPressure, "Memory Pressure",
                  [](const SM& m) { return m.memoryPressure(); }},
    RingMetricRow{
        RingMetric::memoryUsed, "Memory Used",
        [](const SM& m) { return m.memoryTotal() > 0 ? m.memoryUsed() / m.memoryTotal() : 0.0; }},
    RingMetricRow{RingMetric::batteryLevel, "Battery Level",
                  [](const SM& m) { return m.batteryLevel(); }},
    RingMetricRow{RingMetric::batteryHealth, "Battery Health",
                  [](const SM& m) { return m.batteryHealthPercent(); }},
    RingMetricRow{RingMetric::netSystemLoad, "System Load",
                  [](const SM& m) {
                      const double scale =
                          m.adapterWatts() >= 1 ? m.adapterWatts() : defaultLoadWatts;
                      return atMostOne(m.netSystemWatts() / scale);
                  }},
    RingMetricRow{RingMetric::fan0, "Fan 0", [](const SM& m) { return fanShare(m.fan0Speed()); }},
    RingMetricRow{RingMetric::fan1, "Fan 1", [](const SM& m) { return fanShare(m.fan1Speed()); }},
    RingMetricRow{RingMetric::swapUsed, "Swap Used",
                  [](const SM& m) {
                      return m.swapTotal() > 0 ? atMostOne(m.swapUsed() / m.swapTotal()) : 0.0;
                  }},
    RingMetricRow{RingMetric::diskRead, "Disk Read",
                  [](const SM& m) { return atMostOne(m.diskReadBytesPerSec() / gibi); }},
    RingMetricRow{RingMetric::diskWrite, "Disk Write",
                  [](const SM& m) { return atMostOne(m.diskWriteBytesPerSec() / gibi); }},
};

constexpr std::array numberRows{
    NumberMetricRow{NumberMetric::none, "None", "", u"", nullptr,
                    [](const SM&) { return QString(); }},
    NumberMetricRow{NumberMetric::cpuTotal, "CPU %", "cpu", u"100%", &SM::cpuUsageChanged,
                    [](const SM& m) { return wholePercent(m.cpuUsage()); }},
    NumberMetricRow{NumberMetric::cpuUser, "CPU User %", "cpu", u"100%", &SM::cpuUserChanged,
                    [](const SM& m) { return wholePercent(m.cpuUser()); }},
    NumberMetricRow{NumberMetric::cpuSystem, "CPU System %", "cpu", u"100%", &SM::cpuSystemChanged,
                    [](const SM& m) { return wholePercent(m.cpuSystem()); }},
    NumberMetricRow{NumberMetric::cpuTemp, "CPU Temp", "thermometer", u"100\u00B0",
                    &SM::cpuTemperatureChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.cpuTemperature() > 0,
                                             fixedDecimals(m.cpuTemperature(), 0, degreeSign));
                    }},
    NumberMetricRow{NumberMetric::gpuDevice, "GPU %", "cpu", u"100%", &SM::gpuUsageChanged,
                    [](const SM& m) { return wholePercent(m.gpuUsage()); }},
    NumberMetricRow{NumberMetric::gpuRenderer, "GPU Renderer %", "cpu", u"100%",
                    &SM::gpuRendererUtilChanged,
                    [](const SM& m) { return wholePercent(m.gpuRendererUtil()); }},
    NumberMetricRow{NumberMetric::gpuTiler, "GPU Tiler %", "cpu", u"100%", &SM::gpuTilerUtilChanged,
                    [](const SM& m) { return wholePercent(m.gpuTilerUtil()); }},
    NumberMetricRow{NumberMetric::gpuTemp, "GPU Temp", "thermometer", u"100\u00B0",
                    &SM::gpuTemperatureChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.gpuTemperature() > 0,
                                             fixedDecimals(m.gpuTemperature(), 0, degreeSign));
                    }},
    NumberMetricRow{NumberMetric::gpuMemoryUsed, "GPU VRAM Used", "memorychip", u"1023.9 MB",
                    &SM::gpuMemoryUsedChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.gpuMemoryUsed() > 0,
                                             formatBytes(double(m.gpuMemoryUsed())));
                    }},
    NumberMetricRow{NumberMetric::gpuMemoryAlloc, "GPU VRAM Alloc", "memorychip", u"1023.9 MB",
                    &SM::gpuMemoryAllocatedChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.gpuMemoryAllocated() > 0,
                                             formatBytes(double(m.gpuMemoryAllocated())));
                    }},
    NumberMetricRow{NumberMetric::gpuRecovery, "GPU Resets", "exclamationmark.triangle", u"8888",
                    &SM::gpuRecoveryCountChanged,
                    [](const SM& m) { return integer(m.gpuRecoveryCount()); }},
    NumberMetricRow{NumberMetric::memoryPressure, "Mem Pressure", "memorychip", u"100%",
                    &SM::memoryPressureChanged,
                    [](const SM& m) { return wholePercent(m.memoryPressure()); }},
    NumberMetricRow{NumberMetric::memoryUsedPct, "Mem Used %", "memorychip", u"100%",
                    &SM::memoryUsedChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.memoryTotal() > 0,
                                             wholePercent(m.memoryUsed() / m.memoryTotal()));
                    }},
    NumberMetricRow{NumberMetric::memoryUsedBytes, "Mem Used", "memorychip", u"1023.9 MB",
                    &SM::memoryUsedChanged,
                    [](const SM& m) { return formatBytes(m.memoryUsed()); }},
    NumberMetricRow{NumberMetric::memoryFree, "Mem Free", "memorychip", u"1023.9 MB",
                    &SM::memoryUsedChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.memoryTotal() > 0,
                                             formatBytes(m.memoryTotal() - m.memoryUsed()));
                    }},
    NumberMetricRow{NumberMetric::downloadSpeed, "Download", "network", u"1023.9 MB/s",
                    &SM::downloadSpeedChanged, [](const SM& m) { return m.downloadSpeed(); }},
    NumberMetricRow{NumberMetric::uploadSpeed, "Upload", "arrow.up.circle", u"1023.9 MB/s",
                    &SM::uploadSpeedChanged, [](const SM& m) { return m.uploadSpeed(); }},
    NumberMetricRow{
        NumberMetric::fan0RPM, "Fan 0 RPM", "fan", u"8888", &SM::fan0SpeedChanged,
        [](const SM& m) { return orPlaceholder(m.fan0Speed() >= 1, integer(m.fan0Speed())); }},
    NumberMetricRow{
        NumberMetric::fan1RPM, "Fan 1 RPM", "fan", u"8888", &SM::fan1SpeedChanged,
        [](const SM& m) { return orPlaceholder(m.fan1Speed() >= 1, integer(m.fan1Speed())); }},
    NumberMetricRow{NumberMetric::allFansRPM, "All Fans", "fan", u"8888, 8888",
                    &SM::fanSpeedsChanged,
                    [](const SM& m) {
                        return orPlaceholder(!m.fanSpeeds().isEmpty(), joinedSpeeds(m.fanSpeeds()));
                    }},
    NumberMetricRow{NumberMetric::batteryLevel, "Battery %", "battery.75", u"100%",
                    &SM::batteryLevelChanged,
                    [](const SM& m) { return wholePercent(m.batteryLevel()); }},
    NumberMetricRow{NumberMetric::batteryHealth, "Battery Health", "heart.fill", u"100%",
                    &SM::batteryHealthPercentChanged,
                    [](const SM& m) {
                        return orPlaceholder(
                            m.batteryHealthPercent() > 0,
                            fixedDecimals(m.batteryHealthPercent() * 100.0, 0, u"%"));
                    }},
    NumberMetricRow{NumberMetric::batteryCondition, "Battery Condition", "checkmark.shield",
                    u"Service Recommended", &SM::batteryHealthConditionChanged,
                    [](const SM& m) {
                        return orPlaceholder(!m.batteryHealthCondition().isEmpty(),
                                             m.batteryHealthCondition());
                    }},
    NumberMetricRow{NumberMetric::batteryDraw, "Battery Draw W", "bolt.slash", u"100.0W",
                    &SM::batteryDrawWattsChanged,
                    [](const SM& m) {
                        return m.batteryDrawWatts() > smallestWatts
                                   ? fixedDecimals(m.batteryDrawWatts(), 1, u"W")
                                   : QStringLiteral("0W");
                    }},
    NumberMetricRow{NumberMetric::batteryCharge, "Battery Charge W", "bolt.fill", u"100.0W",
                    &SM::batteryChargeWattsChanged,
                    [](const SM& m) {
                        return m.batteryChargeWatts() > smallestWatts
                                   ? fixedDecimals(m.batteryChargeWatts(), 1, u"W")
                                   : QStringLiteral("0W");
                    }},
    NumberMetricRow{
        NumberMetric::acInputWatts, "AC Input W", "powerplug", u"100.0W", &SM::acInputWattsChanged,
        [](const SM& m) {
            return orPlaceholder(m.acInputWatts() > 0, fixedDecimals(m.acInputWatts(), 1, u"W"));
        }},
    NumberMetricRow{NumberMetric::totalSystemDraw, "Total Draw W", "bolt.circle.fill", u"100.0W",
                    &SM::totalSystemWattsChanged,
                    [](const SM& m) { return fixedDecimals(m.totalSystemWatts(), 1, u"W"); }},
    NumberMetricRow{NumberMetric::netSystemLoad, "Net System W", "gauge.with.dots.needle.67percent",
                    u"100.0W", &SM::netSystemWattsChanged,
                    [](const SM& m) { return fixedDecimals(m.netSystemWatts(), 1, u"W"); }},
    NumberMetricRow{NumberMetric::adapterWatts, "Adapter W (max)", "powerplug.fill", u"100W",
                    &SM::adapterWattsChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.adapterWatts() >= 1,
                                             integer(m.adapterWatts(), u"W"));
                    }},
    NumberMetricRow{NumberMetric::adapterVoltage, "Adapter Voltage", "powerplug.fill", u"20V",
                    &SM::adapterVoltageChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.adapterVoltage() > 0,
                                             fixedDecimals(m.adapterVoltage(), 0, u"V"));
                    }},
    NumberMetricRow{NumberMetric::adapterCurrent, "Adapter Current", "powerplug.fill", u"-8888mA",
                    &SM::adapterCurrentChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.adapterCurrent() >= 1,
                                             integer(m.adapterCurrent(), u"mA"));
                    }},
    NumberMetricRow{NumberMetric::systemInputVoltage, "System Input V", "bolt.circle", u"20.00V",
                    &SM::systemInputVoltageChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.systemInputVoltage() > 0,
                                             fixedDecimals(m.systemInputVoltage(), 2, u"V"));
                    }},
    NumberMetricRow{NumberMetric::systemInputCurrent, "System Input mA", "bolt.circle", u"-8888mA",
                    &SM::systemInputCurrentChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.systemInputCurrent() > 0,
                                             fixedDecimals(m.systemInputCurrent(), 0, u"mA"));
                    }},
    NumberMetricRow{NumberMetric::batteryVoltage, "Battery Voltage", "bolt.circle", u"20.00V",
                    &SM::batteryVoltageChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.batteryVoltage() > 0,
                                             fixedDecimals(m.batteryVoltage(), 2, u"V"));
                    }},
    // Negative while discharging; the sign is kept.
    NumberMetricRow{NumberMetric::batteryCurrent, "Battery Current", "waveform", u"-8888mA",
                    &SM::batteryCurrentChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.batteryCurrent() != 0,
                                             fixedDecimals(m.batteryCurrent(), 0, u"mA"));
                    }},
    NumberMetricRow{NumberMetric::batteryTemp, "Battery Temp", "thermometer", u"100\u00B0",
                    &SM::batteryTemperatureChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.batteryTemperature() > 0,
                                             fixedDecimals(m.batteryTemperature(), 0, degreeSign));
                    }},
    NumberMetricRow{NumberMetric::batteryCycles, "Battery Cycles", "arrow.circlepath", u"8888",
                    &SM::batteryCycleCountChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.batteryCycleCount() >= 1,
                                             integer(m.batteryCycleCount()));
                    }},
    NumberMetricRow{NumberMetric::batteryMaxCapacity, "Max Capacity", "battery.100.circle",
                    u"8888mAh", &SM::batteryMaxCapacityChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.batteryMaxCapacity() >= 1,
                                             integer(m.batteryMaxCapacity(), u"mAh"));
                    }},
    NumberMetricRow{NumberMetric::batteryDesignCap, "Design Capacity", "battery.100.circle",
                    u"8888mAh", &SM::batteryDesignCapacityChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.batteryDesignCapacity() >= 1,
                                             integer(m.batteryDesignCapacity(), u"mAh"));
                    }},
    // An empty text stays empty, so the icon drops its number.
    NumberMetricRow{NumberMetric::timeRemaining, "Time Remaining", "clock", u"88:88",
                    &SM::timeRemainingChanged,
                    [](const SM& m) {
                        return QString(m.timeRemaining()).remove(QStringLiteral(" Remaining"));
                    }},
    NumberMetricRow{
        NumberMetric::timeToFull, "Time to Full", "clock", u"88:88", &SM::batteryTimeToFullChanged,
        [](const SM& m) {
            return orPlaceholder(!m.batteryTimeToFull().isEmpty(),
                                 QString(m.batteryTimeToFull()).remove(QStringLiteral(" to full")));
        }},
    NumberMetricRow{NumberMetric::diskRead, "Disk Read", "arrow.down.circle", u"1023.9 MB/s",
                    &SM::diskReadBytesPerSecChanged,
                    [](const SM& m) { return rate(m.diskReadBytesPerSec()); }},
    NumberMetricRow{NumberMetric::diskWrite, "Disk Write", "arrow.up.circle.fill", u"1023.9 MB/s",
                    &SM::diskWriteBytesPerSecChanged,
                    [](const SM& m) { return rate(m.diskWriteBytesPerSec()); }},
    NumberMetricRow{NumberMetric::memoryWired, "Mem Wired", "lock.fill", u"1023.9 MB",
                    &SM::memoryWiredChanged,
                    [](const SM& m) { return formatBytes(m.memoryWired()); }},
    NumberMetricRow{NumberMetric::memoryActive, "Mem Active", "memorychip", u"1023.9 MB",
                    &SM::memoryActiveChanged,
                    [](const SM& m) { return formatBytes(m.memoryActive()); }},
    NumberMetricRow{NumberMetric::memoryInactive, "Mem Inactive", "memorychip", u"1023.9 MB",
                    &SM::memoryInactiveChanged,
                    [](const SM& m) { return formatBytes(m.memoryInactive()); }},
    NumberMetricRow{NumberMetric::memoryCompressed, "Mem Compressed", "archivebox", u"1023.9 MB",
                    &SM::memoryCompressedChanged,
                    [](const SM& m) { return formatBytes(m.memoryCompressed()); }},
    NumberMetricRow{NumberMetric::swapUsed, "Swap Used", "internaldrive", u"1023.9 MB",
                    &SM::swapUsedChanged, [](const SM& m) { return formatBytes(m.swapUsed()); }},
    NumberMetricRow{NumberMetric::swapTotal, "Swap Total", "internaldrive.fill", u"1023.9 MB",
                    &SM::swapTotalChanged, [](const SM& m) { return formatBytes(m.swapTotal()); }},
    NumberMetricRow{NumberMetric::loadAvg1, "Load 1m", "chart.bar", u"88.88", &SM::loadAvg1Changed,
                    [](const SM& m) { return fixedDecimals(m.loadAvg1(), 2); }},
    NumberMetricRow{NumberMetric::loadAvg5, "Load 5m", "chart.bar", u"88.88", &SM::loadAvg5Changed,
                    [](const SM& m) { return fixedDecimals(m.loadAvg5(), 2); }},
    NumberMetricRow{NumberMetric::loadAvg15, "Load 15m", "chart.bar", u"88.88",
                    &SM::loadAvg15Changed,
                    [](const SM& m) { return fixedDecimals(m.loadAvg15(), 2); }},
    NumberMetricRow{NumberMetric::uptime, "Uptime", "clock.arrow.2.circlepath", u"88d 88h",
                    &SM::uptimeSecondsChanged,
                    [](const SM& m) { return formatUptime(m.uptimeSeconds()); }},
    NumberMetricRow{NumberMetric::processCount, "Processes", "square.stack", u"8888",
                    &SM::processCountChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.processCount() >= 1, integer(m.processCount()));
                    }},
    NumberMetricRow{NumberMetric::wifiRSSI, "Wi-Fi RSSI", "wifi", u"-88 dBm", &SM::wifiRSSIChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.wifiRSSI() != 0, integer(m.wifiRSSI(), u" dBm"));
                    }},
    NumberMetricRow{
        NumberMetric::wifiTxRate, "Wi-Fi Tx", "wifi.router", u"8888 Mbps", &SM::wifiTxRateChanged,
        [](const SM& m) {
            return orPlaceholder(m.wifiTxRate() > 0, fixedDecimals(m.wifiTxRate(), 0, u" Mbps"));
        }},
    NumberMetricRow{NumberMetric::wifiNoise, "Wi-Fi Noise", "wifi", u"-88 dBm",
                    &SM::wifiNoiseChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.wifiNoise() != 0, integer(m.wifiNoise(), u" dBm"));
                    }},
    NumberMetricRow{NumberMetric::wifiChannel, "Wi-Fi Channel", "antenna.radiowaves.left.and.right",
                    u"Ch 188", &SM::wifiChannelChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.wifiChannel() >= 1,
                                             QStringLiteral("Ch ") + integer(m.wifiChannel()));
                    }},
    NumberMetricRow{NumberMetric::cpuModel, "CPU Model", "cpu",
                    u"Intel(R) Core(TM) i7-8888K CPU @ 8.88GHz", &SM::cpuBrandStringChanged,
                    [](const SM& m) {
                        return orPlaceholder(!m.cpuBrandString().isEmpty(), m.cpuBrandString());
                    }},
    NumberMetricRow{NumberMetric::cpuPCores, "P-Cores", "cpu.fill", u"8888",
                    &SM::cpuPCoreCountChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.cpuPCoreCount() >= 1, integer(m.cpuPCoreCount()));
                    }},
    NumberMetricRow{NumberMetric::cpuECores, "E-Cores", "cpu.fill", u"8888",
                    &SM::cpuECoreCountChanged,
                    [](const SM& m) {
                        return orPlaceholder(m.cpuECoreCount() >= 1, integer(m.cpuECoreCount()));
                    }},
    NumberMetricRow{NumberMetric::thermalState, "Thermal State", "thermometer.sun", u"Critical",
                    &SM::thermalStateChanged, [](const SM& m) { return m.thermalState(); }},
};

template <typename Rows> constexpr bool indexedByEnumerator(const Rows& rows) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (static_cast<std::size_t>(rows[i].metric) != i)
            return false;
    }
    return true;
}

static_assert(ringRows.size() == static_cast<std::size_t>(RingMetric::diskWrite) + 1 &&
              indexedByEnumerator(ringRows));
static_assert(numberRows.size() == static_cast<std::size_t>(NumberMetric::thermalState) + 1 &&
              indexedByEnumerator(numberRows));

template <typename Rows, typename Metric> const auto& rowOf(const Rows& rows, Metric metric) {
    const auto index = static_cast<std::size_t>(metric);
    return index < rows.size() ? rows[index] : rows[0];
}

} // namespace

std::span<const RingMetricRow> ringMetricRows() {
    return ringRows;
}

std::span<const NumberMetricRow> numberMetricRows() {
    return numberRows;
}

const RingMetricRow& metricRow(RingMetric metric) {
    return rowOf(ringRows, metric);
}

const NumberMetricRow& metricRow(NumberMetric metric) {
    return rowOf(numberRows, metric);
}

} // namespace orb
