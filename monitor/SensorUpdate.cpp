#include "monitor/SystemMonitor.h"

#include "platform/Platform.h"
#include "sensors/IoregMonitor.h"

#include <QMetaObject>
#include <algorithm>
#include <optional>

namespace orb {

namespace {

QString thermalStateName(platform::ThermalStateLevel level) {
    switch (level) {
    case platform::thermalNominal:
        return QStringLiteral("Nominal");
    case platform::thermalFair:
        return QStringLiteral("Fair");
    case platform::thermalSerious:
        return QStringLiteral("Serious");
    case platform::thermalCritical:
        return QStringLiteral("Critical");
    default:
        return QStringLiteral("Unknown");
    }
}

// The hottest reading among the labels that start with one of `prefixes`; empty without one.
std::optional<double> hottest(const QVariantMap& table,
                              std::initializer_list<QLatin1StringView> prefixes) {
    std::optional<double> highest;
    for (auto it = table.begin(); it != table.end(); ++it) {
        const bool matches = std::any_of(prefixes.begin(), prefixes.end(),
                                         [&](auto prefix) { return it.key().startsWith(prefix); });
        if (matches && (!highest || it.value().toDouble() > *highest))
            highest = it.value().toDouble();
    }
    return highest;
}

} // namespace

void SystemMonitor::updateSensors() {
    // On equal labels the HID reading wins over the controller's, and that over the registry's.
    QVariantMap table;
    for (const auto& [label, celsius] : hid_.readTemperatures())
        table.insert(QString::fromStdString(label), celsius);
    auto addMissing = [&table](const std::map<std::string, double>& readings) {
        for (const auto& [label, celsius] : readings) {
            const auto key = QString::fromStdString(label);
            if (!table.contains(key))
                table.insert(key, celsius);
        }
    };
    addMissing(smc_.readAllTemperatures());
    addMissing(IoregMonitor::read(*platform_.registry));

    using L = QLatin1StringView;
    auto cpu = smc_.readCPUTemperature();
    if (!cpu)
        cpu = hottest(table, {L("CPU"), L("Die "), L("Tp"), L("Te"), L("Tf")});
    auto gpu = smc_.readGPUTemperature();
    if (!gpu)
        gpu = hottest(table, {L("GPU"), L("Tg")});
    const auto fans = smc_.readFanSpeeds();

    // Published on the next turn of the event loop, after the tick that read them.
    QMetaObject::invokeMethod(
        this,
        [this, table, cpu, gpu, speeds = SpeedList(fans.begin(), fans.end())] {
            setSensors(table);
            setCpuTemperature(cpu.value_or(0));
            setGpuTemperature(gpu.value_or(0));
            setFanSpeeds(speeds);
            setFan0Speed(speeds.value(0));
            setFan1Speed(speeds.value(1));
            setThermalState(thermalStateName(platform_.thermal ? platform_.thermal->thermalState()
                                                               : platform::thermalUnknown));
            using SM = SystemMonitor;
            setMeasured({&SM::sensorsChanged}, !table.isEmpty());
            setMeasured({&SM::cpuTemperatureChanged}, cpu.has_value());
            setMeasured({&SM::gpuTemperatureChanged}, gpu.has_value());
            setMeasured({&SM::fanSpeedsChanged}, !speeds.isEmpty());
            setMeasured({&SM::fan0SpeedChanged}, speeds.size() > 0);
            setMeasured({&SM::fan1SpeedChanged}, speeds.size() > 1);
            setMeasured({&SM::thermalStateChanged}, thermalState() != QLatin1StringView("Unknown"));
        },
        Qt::QueuedConnection);
}

} // namespace orb
