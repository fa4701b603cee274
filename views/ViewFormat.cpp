#include "views/ViewFormat.h"

#include "monitor/AppProcess.h"
#include "monitor/TextFormat.h"

namespace orb {

QString ViewFormat::bytes(double count) const {
    return formatBytes(count);
}

QString ViewFormat::fixed(double value, int decimals, const QString& suffix) const {
    return fixedDecimals(value, decimals, suffix);
}

QVariantList ViewFormat::cpuProcessRows(const QVariant& processes, int limit) const {
    QVariantList rows;
    // The list reaches QML as a sequence of gadgets; it may come back either way.
    AppProcessList list;
    if (processes.metaType() == QMetaType::fromType<AppProcessList>()) {
        list = processes.value<AppProcessList>();
    } else {
        for (const QVariant& entry : processes.toList())
            list.append(entry.value<AppProcess>());
    }
    for (const AppProcess& process : list) {
        if (rows.size() >= limit)
            break;
        rows.append(QVariantMap{
            {QStringLiteral("name"), process.name},
            {QStringLiteral("value"), fixedDecimals(process.cpu, 1, QStringLiteral("%"))}});
    }
    return rows;
}

QVariantList ViewFormat::sensorRows(const QVariantMap& sensors) const {
    // QVariantMap keeps its keys in ascending order already.
    QVariantList rows;
    for (auto it = sensors.constBegin(); it != sensors.constEnd(); ++it) {
        rows.append(QVariantMap{{QStringLiteral("label"), it.key()},
                                {QStringLiteral("temp"),
                                 fixedDecimals(it.value().toDouble(), 0, QStringLiteral("°"))}});
    }
    return rows;
}

} // namespace orb
