#include "probe/PrometheusFormat.h"

#include "monitor/SystemMonitor.h"
#include "probe/Exposition.h"

#include <QRegularExpression>
#include <QSet>
#include <cmath>
#include <limits>

namespace orb::probe {

namespace {

using SM = SystemMonitor;
constexpr double absent = std::numeric_limits<double>::quiet_NaN();
constexpr double coulombsPerMilliampHour = 3.6; // charge in the base unit: ampere-seconds

// "2:05 Remaining" or "1:30 to full" as seconds; any other text ("Charging", "Calculating...",
// "Unknown", empty) is no estimate.
double hoursAndMinutes(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^(\\d+):(\\d\\d)\\b"));
    const auto match = pattern.match(text);
    if (!match.hasMatch())
        return absent;
    return (match.capturedView(1).toDouble() * 60 + match.capturedView(2).toDouble()) * 60;
}

// Writes the families of one area. Every family is declared whether or not it has samples; the
// exposition leaves the empty ones out.
class Writer {
public:
    explicit Writer(const SM& monitor) : m(monitor) {}

    // One unlabelled sample of a field, written where the machine measures it.
    void gauge(const char* name, const char* help, void (SM::*field)(), double value) {
        reading(name, "gauge", help, field, value);
    }
    void counter(const char* name, const char* help, void (SM::*field)(), double value) {
        reading(name, "counter", help, field, value);
    }
    // A yes/no field as 1 or 0.
    void flag(const char* name, const char* help, void (SM::*field)(), bool value) {
        gauge(name, help, field, value ? 1 : 0);
    }

    void processor();
    void memory();
    void throughput();
    void graphics();
    void temperaturesAndFans();
    void battery();
    void adapter();
    void wifi();
    void topProcesses();

    const SM& m;
    Exposition out;

private:
    void reading(const char* name, const char* type, const char* help, void (SM::*field)(),
                 double value) {
        out.family(name, type, help);
        if (m.isMeasured(field))
            out.sample(value);
    }
};

void Writer::processor() {
    gauge("orbimeter_cpu_usage_ratio", "Share of all processor time spent busy (user and system).",
          &SM::cpuUsageChanged, m.cpuUsage());
    gauge("orbimeter_cpu_user_ratio", "Share of all processor time spent in user space.",
          &SM::cpuUserChanged, m.cpuUser());
    gauge("orbimeter_cpu_system_ratio", "Share of all processor time spent in the kernel.",
          &SM::cpuSystemChanged, m.cpuSystem());
    out.gauge("orbimeter_cpu_info", "The processor's brand, as a label; always 1.");
    if (!m.cpuBrandString().isEmpty())
        out.sample(1, {{"brand", m.cpuBrandString()}});
    gauge("orbimeter_cpu_performance_cores", "Performance cores of a hybrid processor.",
          &SM::cpuPCoreCountChanged, m.cpuPCoreCount());
    gauge("orbimeter_cpu_efficiency_cores", "Efficiency cores of a hybrid processor.",
          &SM::cpuECoreCountChanged, m.cpuECoreCount());
    gauge("orbimeter_load1", "Load average over 1 minute.", &SM::loadAvg1Changed, m.loadAvg1());
    gauge("orbimeter_load5", "Load average over 5 minutes.", &SM::loadAvg5Changed, m.loadAvg5());
    gauge("orbimeter_load15", "Load average over 15 minutes.", &SM::loadAvg15Changed,
          m.loadAvg15());
    gauge("orbimeter_uptime_seconds", "Time since the system started.", &SM::uptimeSecondsChanged,
          static_cast<double>(m.uptimeSeconds()));
    gauge("orbimeter_processes", "Processes found by the last walk of the process table.",
          &SM::processCountChanged, m.processCount());
}

void Writer::memory() {
    gauge("orbimeter_memory_size_bytes", "Physical memory installed.", &SM::memoryTotalChanged,
          m.memoryTotal());
    gauge("orbimeter_memory_used_bytes", "Memory in use: what cannot be reclaimed at once.",
          &SM::memoryUsedChanged, m.memoryUsed());
    gauge("orbimeter_memory_wired_bytes", "Memory held by the kernel or locked in place.",
          &SM::memoryWiredChanged, m.memoryWired());
    gauge("orbimeter_memory_active_bytes", "Memory in recent use by processes.",
          &SM::memoryActiveChanged, m.memoryActive());
    gauge("orbimeter_memory_inactive_bytes", "Memory that can be reclaimed at once.",
          &SM::memoryInactiveChanged, m.memoryInactive());
    gauge("orbimeter_memory_compressed_bytes", "Memory held in compressed form.",
          &SM::memoryCompressedChanged, m.memoryCompressed());
    gauge("orbimeter_memory_pressure_ratio", "Share of physical memory that cannot be reclaimed.",
          &SM::memoryPressureChanged, m.memoryPressure());
    gauge("orbimeter_swap_size_bytes", "Swap space configured.", &SM::swapTotalChanged,
          m.swapTotal());
    gauge("orbimeter_swap_used_bytes", "Swap space in use.", &SM::swapUsedChanged, m.swapUsed());
}

void Writer::throughput() {
    // The histories end with the latest rate; the speed fields hold the same as display text.
    gauge("orbimeter_network_receive_bytes_per_second",
          "Bytes received per second over the physical links.", &SM::downloadHistoryChanged,
          m.downloadHistory().value(m.downloadHistory().size() - 1, absent));
    gauge("orbimeter_network_transmit_bytes_per_second",
          "Bytes sent per second over the physical links.", &SM::uploadHistoryChanged,
          m.uploadHistory().value(m.uploadHistory().size() - 1, absent));
    gauge("orbimeter_disk_read_bytes_per_second", "Bytes read per second from the whole disks.",
          &SM::diskReadBytesPerSecChanged, m.diskReadBytesPerSec());
    gauge("orbimeter_disk_written_bytes_per_second", "Bytes written per second to the whole disks.",
          &SM::diskWriteBytesPerSecChanged, m.diskWriteBytesPerSec());
}

void Writer::graphics() {
    out.gauge("orbimeter_gpu_info", "The graphics processor's model, as a label; always 1.");
    if (!m.gpuModelName().isEmpty())
        out.sample(1, {{"model", m.gpuModelName()}});
    gauge("orbimeter_gpu_utilization_ratio",
          "Share of time the graphics processors were busy (mean over them).", &SM::gpuUsageChanged,
          m.gpuUsage());
    gauge("orbimeter_gpu_renderer_utilization_ratio",
          "Share of time the graphics processors' renderers were busy.",
          &SM::gpuRendererUtilChanged, m.gpuRendererUtil());
    gauge("orbimeter_gpu_tiler_utilization_ratio",
          "Share of time the graphics processors' tilers were busy.", &SM::gpuTilerUtilChanged,
          m.gpuTilerUtil());
    gauge("orbimeter_gpu_memory_used_bytes", "Graphics memory in use.", &SM::gpuMemoryUsedChanged,
          static_cast<double>(m.gpuMemoryUsed()));
    gauge("orbimeter_gpu_memory_allocated_bytes", "Graphics memory set aside for the processors.",
          &SM::gpuMemoryAllocatedChanged, static_cast<double>(m.gpuMemoryAllocated()));
    gauge("orbimeter_gpu_cores", "Cores of the graphics processor.", &SM::gpuCoreCountChanged,
          m.gpuCoreCount());
    counter("orbimeter_gpu_recoveries_total", "Times the graphics processors were recovered.",
            &SM::gpuRecoveryCountChanged, m.gpuRecoveryCount());
    gauge("orbimeter_gpu_power_watts", "Power drawn by the graphics processors that measure it.",
          &SM::gpuPowerWattsChanged, m.gpuPowerWatts());
}

void Writer::temperaturesAndFans() {
    gauge("orbimeter_cpu_temperature_celsius", "Temperature of the processor.",
          &SM::cpuTemperatureChanged, m.cpuTemperature());
    gauge("orbimeter_gpu_temperature_celsius", "Temperature of the graphics processor.",
          &SM::gpuTemperatureChanged, m.gpuTemperature());
    out.gauge("orbimeter_sensor_temperature_celsius", "Temperature of each sensor, by its name.");
    const auto& sensors = m.sensors();
    for (auto it = sensors.begin(); it != sensors.end(); ++it)
        out.sample(it.value().toDouble(), {{"name", it.key()}});
    out.gauge("orbimeter_fan_speed_rpm", "Speed of each fan, by its number.");
    for (qsizetype i = 0; i < m.fanSpeeds().size(); ++i)
        out.sample(m.fanSpeeds()[i], {{"fan", QString::number(i)}});
    // One series per state, 1 for the current one, so that a query can pick any of them.
    out.gauge("orbimeter_thermal_state", "The system's thermal state: 1 for the current one.");
    if (m.isMeasured(&SM::thermalStateChanged))
        for (const char* state : {"Nominal", "Fair", "Serious", "Critical"})
            out.sample(m.thermalState() == QLatin1StringView(state) ? 1 : 0,
                       {{"state", QString::fromLatin1(state).toLower()}});
}

void Writer::battery() {
    gauge("orbimeter_battery_level_ratio", "Charge of the internal battery, as a share of full.",
          &SM::batteryLevelChanged, m.batteryLevel());
    flag("orbimeter_battery_charging", "1 while the battery charges.", &SM::isChargingChanged,
         m.isCharging());
    gauge("orbimeter_battery_time_remaining_seconds", "Estimated time until the battery is empty.",
          &SM::timeRemainingChanged, hoursAndMinutes(m.timeRemaining()));
    gauge("orbimeter_battery_time_to_full_seconds", "Estimated time until the battery is full.",
          &SM::batteryTimeToFullChanged, hoursAndMinutes(m.batteryTimeToFull()));
    gauge("orbimeter_battery_voltage_volts", "Battery voltage.", &SM::batteryVoltageChanged,
          m.batteryVoltage());
    gauge("orbimeter_battery_current_amperes",
          "Battery current: positive charging, negative "
          "discharging.",
          &SM::batteryCurrentChanged, m.batteryCurrent() / 1000);
    gauge("orbimeter_battery_discharge_watts", "Power drawn from the battery.",
          &SM::batteryDrawWattsChanged, m.batteryDrawWatts());
    gauge("orbimeter_battery_charge_watts", "Power going into the battery.",
          &SM::batteryChargeWattsChanged, m.batteryChargeWatts());
    counter("orbimeter_battery_cycles_total", "Charge cycles the battery has been through.",
            &SM::batteryCycleCountChanged, m.batteryCycleCount());
    gauge("orbimeter_battery_health_ratio", "Full charge capacity as a share of the design's.",
          &SM::batteryHealthPercentChanged, m.batteryHealthPercent());
    gauge("orbimeter_battery_design_capacity_coulombs", "Charge the battery was designed for.",
          &SM::batteryDesignCapacityChanged, m.batteryDesignCapacity() * coulombsPerMilliampHour);
    gauge("orbimeter_battery_full_capacity_coulombs", "Charge the battery holds when full.",
          &SM::batteryMaxCapacityChanged, m.batteryMaxCapacity() * coulombsPerMilliampHour);
    gauge("orbimeter_battery_temperature_celsius", "Battery temperature.",
          &SM::batteryTemperatureChanged, m.batteryTemperature());
    gauge("orbimeter_system_power_watts", "Power the whole system draws.",
          &SM::totalSystemWattsChanged, m.totalSystemWatts());
    gauge("orbimeter_system_net_power_watts",
          "Power the system draws beyond what goes into the battery.", &SM::netSystemWattsChanged,
          m.netSystemWatts());
    gauge("orbimeter_system_input_voltage_volts", "Voltage at the system's power input.",
          &SM::systemInputVoltageChanged, m.systemInputVoltage());
    gauge("orbimeter_system_input_current_amperes", "Current at the system's power input.",
          &SM::systemInputCurrentChanged, m.systemInputCurrent() / 1000);
}

void Writer::adapter() {
    flag("orbimeter_power_adapter_connected", "1 while a power adapter is connected.",
         &SM::batteryACConnectedChanged, m.batteryACConnected());
    gauge("orbimeter_power_adapter_rated_watts", "Power the connected adapter is rated for.",
          &SM::adapterWattsChanged, m.adapterWatts());
    gauge("orbimeter_power_adapter_voltage_volts", "Voltage the connected adapter supplies.",
          &SM::adapterVoltageChanged, m.adapterVoltage());
    gauge("orbimeter_power_adapter_current_amperes", "Current the connected adapter supplies.",
          &SM::adapterCurrentChanged, m.adapterCurrent() / 1000.0);
    gauge("orbimeter_power_adapter_input_watts", "Power taken from the adapter.",
          &SM::acInputWattsChanged, m.acInputWatts());
}

void Writer::wifi() {
    gauge("orbimeter_wifi_signal_dbm", "Signal strength of the Wi-Fi link.", &SM::wifiRSSIChanged,
          m.wifiRSSI());
    gauge("orbimeter_wifi_noise_dbm", "Noise level on the Wi-Fi channel.", &SM::wifiNoiseChanged,
          m.wifiNoise());
    gauge("orbimeter_wifi_link_speed_bytes_per_second", "Transmit rate of the Wi-Fi link.",
          &SM::wifiTxRateChanged, m.wifiTxRate() * 1e6 / 8);
    gauge("orbimeter_wifi_channel", "Channel of the Wi-Fi link.", &SM::wifiChannelChanged,
          m.wifiChannel());
}

void Writer::topProcesses() {
    // The entries of the top lists by processor and by memory, once each: a process group has
    // one name, and the same figures in both lists. The energy list repeats the processor list.
    AppProcessList listed;
    QSet<QString> names;
    for (const AppProcessList* list : {&m.topCPUProcesses(), &m.topMemoryProcesses()})
        for (const AppProcess& process : *list)
            if (!names.contains(process.name)) {
                names.insert(process.name);
                listed.append(process);
            }
    out.gauge("orbimeter_top_process_cpu_ratio",
              "Processor share of a group in the top lists, of one processor (can exceed 1).");
    for (const AppProcess& process : listed)
        out.sample(process.cpu / 100, {{"name", process.name}});
    out.gauge("orbimeter_top_process_memory_bytes", "Memory of a group in the top lists.");
    for (const AppProcess& process : listed)
        out.sample(std::round(process.memory * 1024 * 1024), {{"name", process.name}});
    out.gauge("orbimeter_top_process_instances", "Processes in a group of the top lists.");
    for (const AppProcess& process : listed)
        out.sample(process.count, {{"name", process.name}});
}

} // namespace

QString PrometheusExposition::text() const {
    Writer writer(monitor_);
    writer.processor();
    writer.memory();
    writer.throughput();
    writer.graphics();
    writer.temperaturesAndFans();
    writer.battery();
    writer.adapter();
    writer.wifi();
    writer.topProcesses();
    return writer.out.text();
}

} // namespace orb::probe
