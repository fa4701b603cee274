#include "views/ViewFormat.h"

#include "monitor/AppProcess.h"
#include "monitor/TextFormat.h"

#include <cmath>

namespace orb {

QString ViewFormat::bytes(double count) const {
    return formatBytes(count);
}

QString ViewFormat::fixed(double value, int decimals, const QString& suffix) const {
    return fixedDecimals(value, decimals, suffix);
}

namespace {

// The list reaches QML as a sequence of gadgets; it may come back either way.
AppProcessList processList(const QVariant& processes) {
    if (processes.metaType() == QMetaType::fromType<AppProcessList>())
        return processes.value<AppProcessList>();
    AppProcessList list;
    for (const QVariant& entry : processes.toList())
        list.append(entry.value<AppProcess>());
    return list;
}

// Megabytes, or gigabytes with two decimals above 1024 MB (1024 MB itself stays in MB).
QString memoryText(double megabytes) {
    const ByteAmount scaled = inLargestByteUnit(megabytes, ByteUnit::MB, /*strictly=*/true);
    return fixedDecimals(scaled.amount, scaled.unit == ByteUnit::MB ? 1 : 2,
                         byteUnitName(scaled.unit));
}

} // namespace

QVariantList ViewFormat::processRows(const QVariant& processes, const QString& field,
                                     bool withCount) const {
    QVariantList rows;
    for (const AppProcess& process : processList(processes)) {
        QString name = process.name;
        if (withCount && process.count >= 2)
            name += QStringLiteral(" (%1)").arg(process.count);
        QString value;
        if (field == u"memory")
            value = memoryText(process.memory);
        else
            value = fixedDecimals(field == u"energy" ? process.energy : process.cpu, 1, u"%");
        rows.append(QVariantMap{{QStringLiteral("name"), name}, {QStringLiteral("value"), value}});
    }
    return rows;
}

QVariantList ViewFormat::cpuProcessRows(const QVariant& processes, int limit) const {
    QVariantList rows;
    for (const AppProcess& process : processList(processes)) {
        if (rows.size() >= limit)
            break;
        rows.append(QVariantMap{
            {QStringLiteral("name"), process.name},
            {QStringLiteral("value"), fixedDecimals(process.cpu, 1, QStringLiteral("%"))}});
    }
    return rows;
}

namespace {

QVariantList temperatureRows(const QVariantMap& sensors, int decimals, QStringView unit) {
    // QVariantMap keeps its keys in ascending order already.
    QVariantList rows;
    for (auto it = sensors.constBegin(); it != sensors.constEnd(); ++it) {
        rows.append(QVariantMap{
            {QStringLiteral("label"), it.key()},
            {QStringLiteral("temp"), fixedDecimals(it.value().toDouble(), decimals, unit)}});
    }
    return rows;
}

} // namespace

QVariantList ViewFormat::sensorRows(const QVariantMap& sensors) const {
    return temperatureRows(sensors, 0, u"°");
}

QVariantList ViewFormat::detailSensorRows(const QVariantMap& sensors) const {
    return temperatureRows(sensors, 1, u"°C");
}

QString ViewFormat::fixedOr(double value, int decimals, const QString& suffix,
                            const QString& fallback) const {
    return value > 0 ? fixedDecimals(value, decimals, suffix) : fallback;
}

QString ViewFormat::adapterContract(int watts, double volts, int milliamps) const {
    return QString::asprintf("%dW @ %.0fV / %d mA", watts, volts, milliamps);
}

QString ViewFormat::milliamps(double current) const {
    return current == 0 ? QStringLiteral("0 mA") : fixedDecimals(std::abs(current), 0, u" mA");
}

} // namespace orb
