#include "model/MetricCatalogue.h"

#include <array>
#include <cstddef>

namespace orb {

namespace {

struct RingEntry {
    RingMetric metric;
    const char* raw;
};

struct NumberEntry {
    NumberMetric metric;
    const char* raw;
    const char* icon;
};

// One row per case, in declaration order; the row index equals the enumerator's value.
constexpr std::array ringTable{
    RingEntry{RingMetric::none, "None"},
    RingEntry{RingMetric::cpuTotal, "CPU Total"},
    RingEntry{RingMetric::cpuUser, "CPU User"},
    RingEntry{RingMetric::cpuSystem, "CPU System"},
    RingEntry{RingMetric::cpuTemp, "CPU Temp"},
    RingEntry{RingMetric::gpuDevice, "GPU"},
    RingEntry{RingMetric::gpuRenderer, "GPU Renderer"},
    RingEntry{RingMetric::gpuTiler, "GPU Tiler"},
    RingEntry{RingMetric::gpuTemp, "GPU Temp"},
    RingEntry{RingMetric::memoryPressure, "Memory Pressure"},
    RingEntry{RingMetric::memoryUsed, "Memory Used"},
    RingEntry{RingMetric::batteryLevel, "Battery Level"},
    RingEntry{RingMetric::batteryHealth, "Battery Health"},
    RingEntry{RingMetric::netSystemLoad, "System Load"},
    RingEntry{RingMetric::fan0, "Fan 0"},
    RingEntry{RingMetric::fan1, "Fan 1"},
    RingEntry{RingMetric::swapUsed, "Swap Used"},
    RingEntry{RingMetric::diskRead, "Disk Read"},
    RingEntry{RingMetric::diskWrite, "Disk Write"},
};

constexpr std::array numberTable{
    NumberEntry{NumberMetric::none, "None", ""},
    NumberEntry{NumberMetric::cpuTotal, "CPU %", "cpu"},
    NumberEntry{NumberMetric::cpuUser, "CPU User %", "cpu"},
    NumberEntry{NumberMetric::cpuSystem, "CPU System %", "cpu"},
    NumberEntry{NumberMetric::cpuTemp, "CPU Temp", "thermometer"},
    NumberEntry{NumberMetric::gpuDevice, "GPU %", "cpu"},
    NumberEntry{NumberMetric::gpuRenderer, "GPU Renderer %", "cpu"},
    NumberEntry{NumberMetric::gpuTiler, "GPU Tiler %", "cpu"},
    NumberEntry{NumberMetric::gpuTemp, "GPU Temp", "thermometer"},
    NumberEntry{NumberMetric::gpuMemoryUsed, "GPU VRAM Used", "memorychip"},
    NumberEntry{NumberMetric::gpuMemoryAlloc, "GPU VRAM Alloc", "memorychip"},
    NumberEntry{NumberMetric::gpuRecovery, "GPU Resets", "exclamationmark.triangle"},
    NumberEntry{NumberMetric::memoryPressure, "Mem Pressure", "memorychip"},
    NumberEntry{NumberMetric::memoryUsedPct, "Mem Used %", "memorychip"},
    NumberEntry{NumberMetric::memoryUsedBytes, "Mem Used", "memorychip"},
    NumberEntry{NumberMetric::memoryFree, "Mem Free", "memorychip"},
    NumberEntry{NumberMetric::downloadSpeed, "Download", "network"},
    NumberEntry{NumberMetric::uploadSpeed, "Upload", "arrow.up.circle"},
    NumberEntry{NumberMetric::fan0RPM, "Fan 0 RPM", "fan"},
    NumberEntry{NumberMetric::fan1RPM, "Fan 1 RPM", "fan"},
    NumberEntry{NumberMetric::allFansRPM, "All Fans", "fan"},
    NumberEntry{NumberMetric::batteryLevel, "Battery %", "battery.75"},
    NumberEntry{NumberMetric::batteryHealth, "Battery Health", "heart.fill"},
    NumberEntry{NumberMetric::batteryCondition, "Battery Condition", "checkmark.shield"},
    NumberEntry{NumberMetric::batteryDraw, "Battery Draw W", "bolt.slash"},
    NumberEntry{NumberMetric::batteryCharge, "Battery Charge W", "bolt.fill"},
    NumberEntry{NumberMetric::acInputWatts, "AC Input W", "powerplug"},
    NumberEntry{NumberMetric::totalSystemDraw, "Total Draw W", "bolt.circle.fill"},
    NumberEntry{NumberMetric::netSystemLoad, "Net System W", "gauge.with.dots.needle.67percent"},
    NumberEntry{NumberMetric::adapterWatts, "Adapter W (max)", "powerplug.fill"},
    NumberEntry{NumberMetric::adapterVoltage, "Adapter Voltage", "powerplug.fill"},
    NumberEntry{NumberMetric::adapterCurrent, "Adapter Current", "powerplug.fill"},
    NumberEntry{NumberMetric::systemInputVoltage, "System Input V", "bolt.circle"},
    NumberEntry{NumberMetric::systemInputCurrent, "System Input mA", "bolt.circle"},
    NumberEntry{NumberMetric::batteryVoltage, "Battery Voltage", "bolt.circle"},
    NumberEntry{NumberMetric::batteryCurrent, "Battery Current", "waveform"},
    NumberEntry{NumberMetric::batteryTemp, "Battery Temp", "thermometer"},
    NumberEntry{NumberMetric::batteryCycles, "Battery Cycles", "arrow.circlepath"},
    NumberEntry{NumberMetric::batteryMaxCapacity, "Max Capacity", "battery.100.circle"},
    NumberEntry{NumberMetric::batteryDesignCap, "Design Capacity", "battery.100.circle"},
    NumberEntry{NumberMetric::timeRemaining, "Time Remaining", "clock"},
    NumberEntry{NumberMetric::timeToFull, "Time to Full", "clock"},
    NumberEntry{NumberMetric::diskRead, "Disk Read", "arrow.down.circle"},
    NumberEntry{NumberMetric::diskWrite, "Disk Write", "arrow.up.circle.fill"},
    NumberEntry{NumberMetric::memoryWired, "Mem Wired", "lock.fill"},
    NumberEntry{NumberMetric::memoryActive, "Mem Active", "memorychip"},
    NumberEntry{NumberMetric::memoryInactive, "Mem Inactive", "memorychip"},
    NumberEntry{NumberMetric::memoryCompressed, "Mem Compressed", "archivebox"},
    NumberEntry{NumberMetric::swapUsed, "Swap Used", "internaldrive"},
    NumberEntry{NumberMetric::swapTotal, "Swap Total", "internaldrive.fill"},
    NumberEntry{NumberMetric::loadAvg1, "Load 1m", "chart.bar"},
    NumberEntry{NumberMetric::loadAvg5, "Load 5m", "chart.bar"},
    NumberEntry{NumberMetric::loadAvg15, "Load 15m", "chart.bar"},
    NumberEntry{NumberMetric::uptime, "Uptime", "clock.arrow.2.circlepath"},
    NumberEntry{NumberMetric::processCount, "Processes", "square.stack"},
    NumberEntry{NumberMetric::wifiRSSI, "Wi-Fi RSSI", "wifi"},
    NumberEntry{NumberMetric::wifiTxRate, "Wi-Fi Tx", "wifi.router"},
    NumberEntry{NumberMetric::wifiNoise, "Wi-Fi Noise", "wifi"},
    NumberEntry{NumberMetric::wifiChannel, "Wi-Fi Channel", "antenna.radiowaves.left.and.right"},
    NumberEntry{NumberMetric::cpuModel, "CPU Model", "cpu"},
    NumberEntry{NumberMetric::cpuPCores, "P-Cores", "cpu.fill"},
    NumberEntry{NumberMetric::cpuECores, "E-Cores", "cpu.fill"},
    NumberEntry{NumberMetric::thermalState, "Thermal State", "thermometer.sun"},
};

template <typename Table> constexpr bool indexedByEnumerator(const Table& table) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (static_cast<std::size_t>(table[i].metric) != i)
            return false;
    }
    return true;
}

static_assert(ringTable.size() == 19 && indexedByEnumerator(ringTable));
static_assert(numberTable.size() == 63 && indexedByEnumerator(numberTable));

template <typename Table> using MetricOf = decltype(Table::value_type::metric);

template <typename Table> const auto& entry(const Table& table, MetricOf<Table> metric) {
    const auto index = static_cast<std::size_t>(metric);
    return index < table.size() ? table[index] : table[0];
}

template <typename Table>
std::optional<MetricOf<Table>> fromRawValue(const Table& table, QStringView raw) {
    for (const auto& row : table) {
        if (raw == QLatin1StringView(row.raw))
            return row.metric;
    }
    return std::nullopt;
}

template <typename Table> QList<MetricOf<Table>> allCases(const Table& table) {
    QList<MetricOf<Table>> cases;
    cases.reserve(qsizetype(table.size()));
    for (const auto& row : table)
        cases.append(row.metric);
    return cases;
}

} // namespace

QString rawValue(RingMetric metric) {
    return QString::fromLatin1(entry(ringTable, metric).raw);
}

QString rawValue(NumberMetric metric) {
    return QString::fromLatin1(entry(numberTable, metric).raw);
}

std::optional<RingMetric> ringMetricFromRawValue(QStringView raw) {
    return fromRawValue(ringTable, raw);
}

std::optional<NumberMetric> numberMetricFromRawValue(QStringView raw) {
    return fromRawValue(numberTable, raw);
}

const QList<RingMetric>& allRingMetrics() {
    static const QList<RingMetric> cases = allCases(ringTable);
    return cases;
}

const QList<NumberMetric>& allNumberMetrics() {
    static const QList<NumberMetric> cases = allCases(numberTable);
    return cases;
}

QString iconName(NumberMetric metric) {
    return QString::fromLatin1(entry(numberTable, metric).icon);
}

} // namespace orb
